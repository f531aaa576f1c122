#pragma once

#include <QtGlobal>

#include <functional>

// Runs the event loop until the condition holds or the time is up, looking every pollMs; the
// loop sleeps between looks, so waiting costs the measured thread nothing but the looks.
bool processUntil(const std::function<bool()> &condition, qint64 timeoutMs, int pollMs = 5);

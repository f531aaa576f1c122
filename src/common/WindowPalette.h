#pragma once

#include <QPalette>

// The workbench's teal palette, built on RGB (152,217,211).
QPalette windowPalette();

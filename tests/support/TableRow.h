#pragma once

#include <QtTest>

// Adds a row to the current _data() table: its name, then one value per column; texts may be
// given as string literals for QString columns.
template<typename... Values>
void addRow(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

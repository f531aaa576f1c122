#pragma once

#include "common/DockedTabTypes.h"

#include <QString>

class ConnectedReaderTab;
class QDockWidget;

// What a panel may ask the window about the reader tabs; the window implements it and hands it
// to the panels that act on "the current reader" or on a named one, so that no panel includes
// the window.
class ReaderTabs
{
public:
    // The dock last reported as selected.
    virtual QDockWidget *currentDock() const = 0;
    virtual DockedTabTypes currentDockType() const = 0;
    // Null when the reader has no tab (it is not connected).
    virtual ConnectedReaderTab *connectedReaderTab(const QString &readerName) const = 0;

protected:
    ~ReaderTabs() = default;
};

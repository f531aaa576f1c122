#include "WindowPalette.h"

#include <QBrush>
#include <QColor>

QPalette windowPalette()
{
    const QColor base(152, 217, 211);
    const QColor light(250, 255, 255);
    const QColor midlight(201, 236, 233);
    const QColor dark(76, 108, 105);
    const QColor mid(101, 145, 141);
    const QColor alternateBase(203, 236, 233);
    const QColor toolTipBase(255, 255, 220);

    QPalette palette;
    const auto setBoth = [&palette](QPalette::ColorRole role, const QColor &color) {
        palette.setBrush(QPalette::Active, role, color);
        palette.setBrush(QPalette::Inactive, role, color);
    };
    const auto setDisabled = [&palette](QPalette::ColorRole role, const QColor &color) {
        palette.setBrush(QPalette::Disabled, role, color);
    };
    const auto setAll = [&](QPalette::ColorRole role, const QColor &color) {
        setBoth(role, color);
        setDisabled(role, color);
    };

    setAll(QPalette::Window, base);
    setAll(QPalette::Button, base);
    setAll(QPalette::Light, light);
    setAll(QPalette::Midlight, midlight);
    setAll(QPalette::Dark, dark);
    setAll(QPalette::Mid, mid);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        setBoth(role, Qt::black);
        setDisabled(role, dark);
    }
    setAll(QPalette::BrightText, Qt::white);
    setBoth(QPalette::Base, Qt::white);
    setDisabled(QPalette::Base, base);
    setAll(QPalette::Shadow, Qt::black);
    setBoth(QPalette::AlternateBase, alternateBase);
    setDisabled(QPalette::AlternateBase, base);
    setAll(QPalette::ToolTipBase, toolTipBase);
    setAll(QPalette::ToolTipText, Qt::black);
    return palette;
}

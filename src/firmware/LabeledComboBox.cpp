#include "LabeledComboBox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

LabeledComboBox::LabeledComboBox(const QStringList &captions, QWidget *parent)
    : QVBoxLayout(parent)
    , m_captionRow(new QHBoxLayout)
    , m_comboRow(new QHBoxLayout)
{
    addLayout(m_captionRow);
    addLayout(m_comboRow);
    for (const QString &caption : captions) {
        auto *label = new QLabel(caption);
        auto *combo = new QComboBox;
        m_captionRow->addWidget(label);
        m_comboRow->addWidget(combo);
        m_captions << label;
        m_combos << combo;
    }
}

void LabeledComboBox::appendItems(int index, const QStringList &items)
{
    if (QComboBox *combo = comboAt(index))
        combo->addItems(items);
}

void LabeledComboBox::clearCombo(int index)
{
    if (QComboBox *combo = comboAt(index))
        combo->clear();
}

void LabeledComboBox::clearAll()
{
    for (QComboBox *combo : qAsConst(m_combos))
        combo->clear();
}

void LabeledComboBox::setComboEnabled(int index, bool enabled)
{
    QComboBox *combo = comboAt(index);
    if (!combo)
        return;
    if (!enabled)
        combo->clear();
    combo->setEnabled(enabled);
}

void LabeledComboBox::removeItemsFrom(int index, int position)
{
    QComboBox *combo = comboAt(index);
    if (!combo)
        return;
    while (combo->count() > qMax(0, position))
        combo->removeItem(combo->count() - 1);
}

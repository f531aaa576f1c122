#pragma once

#include <QList>
#include <QStringList>
#include <QVBoxLayout>

class QComboBox;
class QHBoxLayout;
class QLabel;

// A row of captions over a row of combo boxes, one combo per caption.
class LabeledComboBox : public QVBoxLayout
{
    Q_OBJECT

public:
    explicit LabeledComboBox(const QStringList &captions, QWidget *parent = nullptr);

    QComboBox *comboAt(int index) const { return m_combos.value(index); }
    QLabel *captionAt(int index) const { return m_captions.value(index); }
    void appendItems(int index, const QStringList &items);
    void clearCombo(int index);
    void clearAll();
    // A disabled combo is emptied.
    void setComboEnabled(int index, bool enabled);
    void removeItemsFrom(int index, int position);

private:
    QHBoxLayout *m_captionRow;
    QHBoxLayout *m_comboRow;
    QList<QLabel *> m_captions;
    QList<QComboBox *> m_combos;
};

#pragma once

#include "PatternRule.h"

#include <QLabel>
#include <QString>
#include <QTimer>

class QResizeEvent;

// A pattern rule as the packets panel shows it: its name and its total count, the counts of
// all rules right-aligned in one column.
class PatternMatchingRule : public QLabel
{
    Q_OBJECT

public:
    explicit PatternMatchingRule(const QString &line, QWidget *parent = nullptr);

    const PatternRule &rule() const { return m_rule; }
    QString name() const { return m_rule.name(); }
    int matchCount(const QString &readerName = QString()) const
    {
        return m_rule.matchCount(readerName);
    }

public slots:
    bool processFrame(QString readerName, QString frame);
    void clearCounter();
    void updateUi();

signals:
    void answerToMatch(QString readerName, QString answer);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    PatternRule m_rule;
    // A flood matches many frames a second; the label follows at most ten times a second.
    QTimer m_refreshTimer;
};

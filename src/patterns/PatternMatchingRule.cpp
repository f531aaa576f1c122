#include "PatternMatchingRule.h"

#include <QFont>
#include <QFontMetrics>
#include <QResizeEvent>

namespace {

constexpr int labelRefreshMs = 100;

} // namespace

PatternMatchingRule::PatternMatchingRule(const QString &line, QWidget *parent)
    : QLabel(parent)
    , m_rule(line)
{
    QFont font(QStringLiteral("Courier"));
    font.setPointSize(8);
    setFont(font);
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(labelRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &PatternMatchingRule::updateUi);
    updateUi();
}

bool PatternMatchingRule::processFrame(QString readerName, QString frame)
{
    const bool matched = m_rule.matches(readerName, frame);
    if (matched && m_rule.hasAnswer())
        emit answerToMatch(readerName, m_rule.answer());
    if (matched && !m_refreshTimer.isActive())
        m_refreshTimer.start();
    return matched;
}

void PatternMatchingRule::clearCounter()
{
    m_rule.clearCounters();
    updateUi();
}

void PatternMatchingRule::updateUi()
{
    m_refreshTimer.stop();
    const QString head = m_rule.name() + QLatin1Char(':');
    const QFontMetrics metrics(font());
    const int room = width() - metrics.horizontalAdvance(head) -
                     metrics.horizontalAdvance(QStringLiteral("00000"));
    const int blanks = qMax(0, room / qMax(1, metrics.horizontalAdvance(QLatin1Char(' '))));
    setText(head + QString(blanks, QLatin1Char(' ')) + QString::number(m_rule.matchCount()));
}

void PatternMatchingRule::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateUi();
}

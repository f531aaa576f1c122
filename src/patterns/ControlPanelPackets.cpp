#include "ControlPanelPackets.h"

#include "PatternMatchingRule.h"
#include "app/ControlPanelHeaders.h"
#include "project/ProjectPaths.h"

#include <QCursor>
#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QTextStream>
#include <QUrl>
#include <QWidget>

namespace {

const QString helpText = QStringLiteral(
    "<html><head></head><body style='font-size:7pt;'><p><span style='font-size:10pt; "
    "font-weight:600;'>Packet &amp; auto answer syntax:</span></p><p>Allow to recognize frame "
    "and automatically transmit anser (answer frame is optionnal):<br><span "
    "style='font-weight:600;'>name1; LEFT;position of frame;offset;answer frame</span><br><span "
    "style='font-weight:600;'>name2; RIGHT;position of frame;offset;answer frame</span><br><span "
    "style='font-weight:600;'>name3; STXT;position of frame;answer frame</span></p></body></html>");

} // namespace

ControlPanelPackets::ControlPanelPackets(QWidget *parent)
    : QVBoxLayout(parent)
    , m_header(new ControlPanelHeaders(tr("Packets & auto answer  ?"), helpText))
    , m_analyseButton(new QPushButton)
    , m_scrollArea(new QScrollArea)
    , m_rulesLayout(new QVBoxLayout)
{
    m_analyseButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_analyseButton, &QPushButton::released, this,
            &ControlPanelPackets::analyseButtonPressed);
    connect(m_analyseButton, &QPushButton::customContextMenuRequested, this,
            &ControlPanelPackets::customMenuRequestedAnalyseButton);

    auto *rulesWidget = new QWidget;
    rulesWidget->setLayout(m_rulesLayout);
    m_rulesLayout->addStretch();
    m_scrollArea->setWidget(rulesWidget);
    m_scrollArea->setWidgetResizable(true);

    addLayout(m_header);
    addWidget(m_analyseButton);
    addWidget(m_scrollArea);
    updateUi();
    loadAnalizeFromProject();
}

void ControlPanelPackets::loadAnalizeFromProject()
{
    patternFilePath = ProjectPaths::patternRulesPath();
    newAnalyseFileSelected();
}

void ControlPanelPackets::newAnalyseFileSelected()
{
    // A rule may still be on the call stack (its answer led here): it goes later.
    for (PatternMatchingRule *rule : m_rules)
        rule->deleteLater();
    m_rules.clear();

    QFile file(patternFilePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        auto *rule = new PatternMatchingRule(stream.readLine());
        connect(rule, &PatternMatchingRule::answerToMatch, this,
                &ControlPanelPackets::sendAnswerOnMatch);
        m_rules << rule;
        m_rulesLayout->insertWidget(m_rulesLayout->count() - 1, rule);
    }
}

QList<ControlPanelPackets::T_matchSnapshot> ControlPanelPackets::analyseFrame(QString readerName,
                                                                              QString frame)
{
    QList<T_matchSnapshot> matches;
    if (!isAnalysing)
        return matches;
    frame.remove(QLatin1Char(' '));
    for (PatternMatchingRule *rule : qAsConst(m_rules)) {
        if (rule->processFrame(readerName, frame))
            matches << T_matchSnapshot{rule->name(), rule->matchCount(readerName),
                                       rule->matchCount()};
    }
    return matches;
}

void ControlPanelPackets::clearCounters()
{
    qDebug() << "Clearing all counters";
    for (PatternMatchingRule *rule : qAsConst(m_rules))
        rule->clearCounter();
}

void ControlPanelPackets::analyseButtonPressed()
{
    isAnalysing = !isAnalysing;
    updateUi();
}

void ControlPanelPackets::updateUi()
{
    if (isAnalysing) {
        m_analyseButton->setText(tr("Stop analysing"));
        m_analyseButton->setIcon(QIcon(QStringLiteral(":Icons/arrow_red.ico")));
    } else {
        m_analyseButton->setText(tr("Launch analysing"));
        m_analyseButton->setIcon(QIcon(QStringLiteral(":Icons/arrow_green.ico")));
    }
}

void ControlPanelPackets::customMenuRequestedAnalyseButton(QPoint point)
{
    Q_UNUSED(point)
    QMenu menu(m_analyseButton);
    menu.addAction(tr("Open"), this, &ControlPanelPackets::openConfigFile);
    menu.addAction(tr("Rescan"), this, &ControlPanelPackets::newAnalyseFileSelected);
    menu.exec(QCursor::pos());
}

void ControlPanelPackets::openConfigFile()
{
    if (!QDesktopServices::openUrl(QUrl::fromUserInput(patternFilePath)))
        emit statusMessage(tr("Error: Could not open file \"%1\".").arg(patternFilePath));
}

void ControlPanelPackets::sendAnswerOnMatch(QString readerName, QString answer)
{
    emit answerOnMatch(readerName, answer);
}

#pragma once

#include "FrameAnalyser.h"
#include "T_matchSnapshot.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QVBoxLayout>

class ControlPanelHeaders;
class PatternMatchingRule;
class QPushButton;
class QScrollArea;

// The control-panel section of the pattern rules: loads them from the project's pattern
// file, counts the frames they recognise and relays their automatic answers.
class ControlPanelPackets : public QVBoxLayout, public FrameAnalyser
{
    Q_OBJECT

public:
    using T_matchSnapshot = ::T_matchSnapshot;

    explicit ControlPanelPackets(QWidget *parent = nullptr);

    QString patternFile() const { return patternFilePath; }
    bool analysing() const { return isAnalysing; }
    const QList<PatternMatchingRule *> &rules() const { return m_rules; }
    QPushButton *analyseButton() const { return m_analyseButton; }

signals:
    void statusMessage(QString message);
    void answerOnMatch(QString readerName, QString answer);

public slots:
    void loadAnalizeFromProject();
    QList<T_matchSnapshot> analyseFrame(QString readerName, QString frame) override;
    void clearCounters();

private slots:
    void analyseButtonPressed();
    void updateUi();
    void customMenuRequestedAnalyseButton(QPoint point);
    void openConfigFile();
    void newAnalyseFileSelected();
    void sendAnswerOnMatch(QString readerName, QString answer);

private:
    QString patternFilePath;
    bool isAnalysing = false;
    QList<PatternMatchingRule *> m_rules;
    ControlPanelHeaders *m_header;
    QPushButton *m_analyseButton;
    QScrollArea *m_scrollArea;
    QVBoxLayout *m_rulesLayout;
};

#pragma once

// Answers the next modal dialog a test provokes, so that no test ever blocks on one: it watches
// for the application's active modal widget and, when one appears, records its text and closes
// it with the answer given.

#include <QObject>
#include <QString>
#include <QTimer>

namespace tabvoro::test {

class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    // `answer`: the text to type into an input dialog, or the path of the file to choose in a
    // file dialog (ignored for message boxes); an empty `answer` with `accept` false cancels.
    explicit ModalAnswerer(QString answer = {}, bool accept = true, QObject *parent = nullptr);

    int seen() const { return m_seen; }
    QString lastTitle() const { return m_lastTitle; }
    QString lastText() const { return m_lastText; }
    // The text an input dialog offered before the answer replaced it.
    QString lastDefault() const { return m_lastDefault; }

private:
    void poll();

    QString m_answer;
    bool m_accept;
    QTimer m_timer;
    int m_seen = 0;
    QString m_lastTitle;
    QString m_lastText;
    QString m_lastDefault;
};

}  // namespace tabvoro::test

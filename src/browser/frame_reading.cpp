#include "browser/frame_reading.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

namespace tabvoro::browser {

namespace {

// How long a frame has to say it received the request: it does at once unless it has no
// answerer, or its page is busy in a script of its own.
constexpr int kReceiptMs = 1000;
// How long a frame that received the request may take to answer: as long as a read of the
// page itself may.
constexpr int kAnswerMs = 30000;
// The pause between two looks at the answers: a frame in a process of its own answers while
// we wait; one in the page's process answers before the page can run our next look.
constexpr int kLookMs = 10;

// Known only to our isolated worlds, where the answerer's and the asker's sources are: a page
// never sees it, so no page can ask a frame of another origin for its contents.
const QString &secret()
{
    static const QString value = QString::number(QRandomGenerator::system()->generate64(), 36) +
                                 QString::number(QRandomGenerator::system()->generate64(), 36);
    return value;
}

QString quoted(const QString &text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// The answerer listens before any script of the page can (it runs at the document's creation),
// and a request it takes goes no further: the frame's own scripts never see the secret. It
// answers only its parent, on the port that came with the request: first that it has the
// request, then the snapshot.
const QString kAnswerer = QStringLiteral(R"JS((function (secret, snapshot) {
    'use strict';
    window.addEventListener('message', event => {
        const data = event.data;
        if (!data || typeof data !== 'object' || data.tabvoroSnapshot !== secret)
            return;
        event.stopImmediatePropagation();
        const port = event.ports[0];
        if (!port || window.parent === window || event.source !== window.parent)
            return;
        port.postMessage(null);
        let answer;
        try {
            answer = snapshot(data.request);
        } catch (e) {
            answer = JSON.stringify({x: String(e)});
        }
        port.postMessage(answer);
        port.close();
    }, true);
})(%1, %2))JS");

// Asks the frames the snapshot will read, as it will walk them: frame `only` of the page or
// every frame, and the frames of readable frames when it takes their contents. Answers wait in
// this world under the read's token. Gives how many frames were asked.
const QString kAsker = QStringLiteral(R"JS((function (secret, token, request, only, nested) {
    'use strict';
    const asked = new Map();
    window.__tabvoroFrameAnswers = {token: token, asked: asked, since: Date.now()};
    const frameRequest = Object.assign({}, request, {frame: -1});
    delete frameRequest.answers;
    const ask = (win, depth) => {
        for (let i = 0; i < win.frames.length; ++i) {
            if (depth === 0 && only >= 0 && i !== only)
                continue;
            const frame = win.frames[i];
            let readable = false;
            try {
                readable = !!frame.document;
            } catch (e) {
            }
            if (readable) {
                if (nested && depth < 7)
                    ask(frame, depth + 1);
                continue;
            }
            const entry = {received: false, answer: null};
            const channel = new MessageChannel();
            channel.port1.onmessage = event => {
                if (event.data === null) {
                    entry.received = true;
                } else if (typeof event.data === 'string') {
                    entry.answer = event.data;
                    channel.port1.close();
                }
            };
            asked.set(frame, entry);
            frame.postMessage({tabvoroSnapshot: secret, request: frameRequest}, '*', [channel.port2]);
        }
    };
    ask(window, 0);
    return asked.size;
}))JS");

// True once every frame asked has answered, or will not: it has not said it received the
// request in time, or it has not answered in time.
const QString kLook = QStringLiteral(R"JS((function (token, receiptMs, answerMs) {
    'use strict';
    const answers = window.__tabvoroFrameAnswers;
    if (!answers || answers.token !== token)
        return true;
    const waited = Date.now() - answers.since;
    for (const entry of answers.asked.values()) {
        if (entry.answer === null && waited < (entry.received ? answerMs : receiptMs))
            return false;
    }
    return true;
}))JS");

}  // namespace

QString frameAnswerScript()
{
    static const QString script = kAnswerer.arg(quoted(secret()), snapshotFunction());
    return script;
}

QString gatherFrameAnswers(const EvaluateFn &evaluate, const SnapshotRequest &request)
{
    if (request.frames == SnapshotRequest::Frames::None && !request.frame)
        return {};
    const QString token = QString::number(QRandomGenerator::system()->generate64(), 36);
    const qint64 only = request.frame ? static_cast<qint64>(*request.frame) : -1;
    const bool nested = request.frames == SnapshotRequest::Frames::Contents;
    const auto asked = evaluate(kAsker + QStringLiteral("(%1, %2, %3, %4, %5)")
                                             .arg(quoted(secret()), quoted(token), snapshotRequestJson(request),
                                                  QString::number(only), nested ? QStringLiteral("true")
                                                                                : QStringLiteral("false")));
    if (!asked || asked->toInt() <= 0)
        return {};
    const QString look = kLook + QStringLiteral("(%1, %2, %3)").arg(quoted(token)).arg(kReceiptMs).arg(kAnswerMs);
    for (QDeadlineTimer limit(kAnswerMs + kReceiptMs); !limit.hasExpired();) {
        const auto done = evaluate(look);
        if (!done || done->toBool())
            break;
        QEventLoop pause;
        QTimer::singleShot(kLookMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return token;
}

}  // namespace tabvoro::browser

#pragma once

// Frames from another origin, read by a script inside each of them. The page's own world cannot
// look into such a frame, so before a read of the page's frames ours asks each of them, over a
// message channel of its own, for the frame's snapshot, taken by the answerer that every
// document holds in our isolated world; the snapshot script then reads the answers kept for it.
//
// A page's own scripts take no part: a request carries a secret that only our isolated worlds
// know, and the answerer keeps the request from the frame's own listeners; the answer comes
// back over the channel's port, which no page script holds, so it cannot be forged or seen
// by the page around the frame. A frame that cannot answer (its scripts disabled, a document
// that is not a web page) stays unreadable; one that has not said it received the request
// within a short time is not waited for.

#include <QString>

#include "browser/page_snapshot.h"

namespace tabvoro::browser {

// The answerer put into every document and frame, in our isolated world, before the page's
// own scripts run.
QString frameAnswerScript();

// Asks the frames `request` reads that are from another origin, and waits for their answers;
// returns the token under which the snapshot script finds them, or an empty text when no frame
// was asked. Runs scripts through `evaluate` and waits between them in a nested event loop.
QString gatherFrameAnswers(const EvaluateFn &evaluate, const SnapshotRequest &request);

}  // namespace tabvoro::browser

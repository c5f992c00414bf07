// Internal to the media layer. Work that nobody waits for any more -- a decode ahead that a stop
// abandoned, an encoder closed after a cancel -- ends on a thread of its own, so that whoever
// stopped goes on at once. All of it is done before the process exits: none of it outlives
// main().
#pragma once

#include <functional>
#include <thread>

namespace tx::leftBehind {

// Runs `work` soon, on the thread that ends left-behind work, in the order posted.
void post(std::function<void()> work);
// Joins `thread` there.
void join(std::thread thread);
// Waits until everything posted so far is done.
void waitForAll();

} // namespace tx::leftBehind

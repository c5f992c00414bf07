// What a render job tells its owner: progress, completion and failure.
#pragma once

#include "platform/foundation/Error.h"

namespace tx {

class AVFileRenderMgr;

class AVFileRenderMgrDelegate {
public:
    virtual ~AVFileRenderMgrDelegate() = default;
    // Combined progress, 0 to 1, after every picture and every sound block written.
    virtual void avFileRenderMgrDidUpdate(AVFileRenderMgr* mgr, float progress) = 0;
    // Once, when the movie is complete; `finished` is always true.
    virtual void avFileRenderMgrDidFinish(AVFileRenderMgr* mgr, bool finished) = 0;
    // Once, when the writer (or the forward sound's reader) failed.
    virtual void avFileRenderMgrDidError(AVFileRenderMgr* mgr, const ErrorPtr& error) = 0;
};

} // namespace tx

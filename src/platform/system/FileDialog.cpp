#include "FileDialog.h"

#include "platform/foundation/RunLoop.h"

#include <utility>

namespace tx {

namespace {

FileDialog::Handler& handlerSlot() {
    static FileDialog::Handler* handler = new FileDialog::Handler;
    return *handler;
}

} // namespace

void FileDialog::setHandler(Handler handler) {
    handlerSlot() = std::move(handler);
}

void FileDialog::run(const FileDialogRequest& request, Completion completion) {
    if (handlerSlot()) {
        handlerSlot()(request, std::move(completion));
        return;
    }
    // No desktop dialog is wired up yet: answer as a cancel, on a later turn like a real dialog.
    RunLoop::post([completion = std::move(completion)] {
        if (completion)
            completion({});
    });
}

} // namespace tx

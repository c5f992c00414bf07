#include "platform/foundation/RunLoop.h"
#include "platform/system/FileDialog.h"
#include "platform/system/SessionBus.h"

#include <cstdlib>

#include <gtest/gtest.h>

using namespace tx;

TEST(FileDialog, AnswersOnALaterTurnAndAStandInSeesTheRequest) {
    // A desktop without a bus and without dialog programs: nothing can be shown.
    setSessionBusAddress("unix:path=/nonexistent/bus");
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    std::string got = "unset";
    FileDialog::run({}, [&](const std::string& path) { got = path; });
    EXPECT_EQ(got, "unset"); // never inside the call
    RunLoop::runUntil([&] { return got != "unset"; }, 2);
    EXPECT_EQ(got, "");
    setenv("PATH", savedPath.c_str(), 1);
    setSessionBusAddress({});

    FileDialogRequest seen;
    FileDialog::setHandler([&](const FileDialogRequest& request, FileDialog::Completion done) {
        seen = request;
        done("/picked.mov");
    });
    FileDialog::run({"Pick", {"Movies (*.mov)"}, "/v", false, ""},
                    [&](const std::string& path) { got = path; });
    EXPECT_EQ(seen.title, "Pick");
    EXPECT_EQ(got, "/picked.mov");
    FileDialog::setHandler({});
}

// The share screen's foot: for each service that holds a sign-in, "Signed in as …" with a
// "Sign out" link; and the texts that say what to set for a service that is not set up.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tx {

class ShareAccountsBar : public View {
public:
    explicit ShareAccountsBar(const Rect& frame);

    // Reads the stored sign-ins again and shows or hides each entry.
    void refresh();
    // Runs after a sign-out (the share screen forgets its Twitter engine's token).
    void setOnSignedOut(std::function<void()> handler) { _onSignedOut = std::move(handler); }

    // The Twitter account name of the stored sign-in ("" when it names none), or nothing when
    // there is no stored sign-in.
    static std::optional<std::string> twitterAccount();
    static bool facebookSignedIn();
    // Why the service cannot be used yet and what to set, or nothing when it is set up.
    static std::optional<std::string> twitterSetupProblem();
    static std::optional<std::string> facebookSetupProblem();

    const std::shared_ptr<Label>& twitterLabel() const { return _twitterLabel; }
    const std::shared_ptr<Button>& twitterSignOut() const { return _twitterSignOut; }
    const std::shared_ptr<Label>& facebookLabel() const { return _facebookLabel; }
    const std::shared_ptr<Button>& facebookSignOut() const { return _facebookSignOut; }

private:
    std::shared_ptr<Label> _twitterLabel;
    std::shared_ptr<Button> _twitterSignOut;
    std::shared_ptr<Label> _facebookLabel;
    std::shared_ptr<Button> _facebookSignOut;
    std::function<void()> _onSignedOut;
};

} // namespace tx

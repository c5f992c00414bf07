// The overlay shown over the whole window while a movie is rendered: a panel with a progress bar
// drawn from two pictures and a cancel button, faded in and out.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"

#include <memory>

namespace tx {

class FileRenderProgressView;

class FileRenderProgressViewDelegate {
public:
    virtual ~FileRenderProgressViewDelegate() = default;
    // The user pressed cancel; `canceled` is always true. Sent once per overlay.
    virtual void fileRenderProgressViewCanceled(FileRenderProgressView& view, bool canceled) = 0;
};

class FileRenderProgressView : public View {
public:
    // The full width of the bar, in points.
    static constexpr double kBarWidth = 152;
    static constexpr double kFadeInSeconds = 0.5;
    static constexpr double kFadeOutSeconds = 0.2;

    FileRenderProgressView();

    // Builds the panel anew, covers the key window and fades in.
    void show();
    // Fades out, then leaves the window.
    void hide();
    // The filled bar becomes p x 152 points wide; values are not clamped.
    void setProgress(float progress);
    // Filled width / 152, or 0 without a filled bar.
    float progress() const;
    // The cancel button's action.
    void onCancel();

    // Esc cancels; no other key reaches the screen under the overlay.
    void addKeyBindings(KeyTable& table) override;
    bool keyPressed(const KeyEvent& event) override;
    // Read as a progress bar over everything, with the cancel button inside.
    AccessibleRole accessibilityRole() const override { return AccessibleRole::ProgressBar; }
    std::string accessibilityLabel() const override;
    std::optional<AccessibleValue> accessibilityValue() const override {
        return AccessibleValue{progress(), 0, 1, 0};
    }
    bool accessibilityIsModal() const override { return true; }

    void setDelegate(std::weak_ptr<FileRenderProgressViewDelegate> delegate) {
        _delegate = std::move(delegate);
    }
    std::shared_ptr<FileRenderProgressViewDelegate> delegate() const { return _delegate.lock(); }

    const std::shared_ptr<ImageView>& progressViewBg() const { return _progressViewBg; }
    const std::shared_ptr<ImageView>& progressViewLoading() const { return _progressViewLoading; }
    const std::shared_ptr<Button>& cancelButton() const { return _cancelButton; }
    const ViewPtr& panel() const { return _panel; }

private:
    std::shared_ptr<ImageView> _progressViewBg;
    std::shared_ptr<ImageView> _progressViewLoading;
    std::shared_ptr<Button> _cancelButton;
    ViewPtr _panel;
    std::weak_ptr<FileRenderProgressViewDelegate> _delegate;
    bool _canceled = false;
    int _announcedPercent = -1;
};

} // namespace tx

// The spinner shown while something loads: twelve spokes turning while it animates.
#pragma once

#include "platform/ui/View.h"

namespace tx {

enum class ActivityIndicatorStyle { WhiteLarge, White, Gray };

class ActivityIndicator : public View {
public:
    explicit ActivityIndicator(ActivityIndicatorStyle style = ActivityIndicatorStyle::White);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return _animating; }
    bool hidesWhenStopped() const { return _hidesWhenStopped; }
    void setHidesWhenStopped(bool hides);

    void drawRect(const Rect& rect) override;

protected:
    void didMoveToWindow() override;

private:
    void scheduleFrame();
    ActivityIndicatorStyle _style;
    bool _animating = false;
    bool _hidesWhenStopped = true;
    bool _frameScheduled = false;
};

} // namespace tx

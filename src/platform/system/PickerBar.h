// The bar along the top of the movie picker's screens: a title, Cancel on the left and room for
// one more button on the right.
#pragma once

#include "platform/ui/Button.h"

#include <functional>
#include <memory>
#include <string>

namespace tx {

constexpr double kPickerBarHeight = 44;

// A rounded button of the bar, `x` points from the left.
std::shared_ptr<Button> makePickerBarButton(double x, const std::string& title, const Color& color,
                                            std::function<void()> action);
std::shared_ptr<View> makePickerBar(double width, const std::string& title,
                                    std::function<void()> onCancel);

} // namespace tx

// A rectangle in a tree of layers, as the interface kit gives the capture preview a place to
// draw: a frame in its parent's points, a hidden flag and sublayers.
#pragma once

#include "platform/foundation/Object.h"

#include <memory>
#include <vector>

namespace tx {

struct LayerFrame {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const LayerFrame&) const = default;
};

class Layer : public Object {
public:
    static std::shared_ptr<Layer> create() { return std::make_shared<Layer>(); }

    const LayerFrame& frame() const { return _frame; }
    void setFrame(const LayerFrame& frame) { _frame = frame; }
    bool isHidden() const { return _hidden; }
    void setHidden(bool hidden) { _hidden = hidden; }

    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return _sublayers; }
    std::shared_ptr<Layer> superlayer() const { return _superlayer.lock(); }
    // Retains `layer` and moves it here from any former parent.
    void addSublayer(const std::shared_ptr<Layer>& layer) {
        if (!layer || layer.get() == this) {
            return;
        }
        layer->removeFromSuperlayer();
        layer->_superlayer = std::static_pointer_cast<Layer>(shared_from_this());
        _sublayers.push_back(layer);
    }
    void removeFromSuperlayer() {
        auto parent = _superlayer.lock();
        _superlayer.reset();
        if (!parent) {
            return;
        }
        auto& list = parent->_sublayers;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->get() == this) {
                list.erase(it);
                break;
            }
        }
    }

private:
    LayerFrame _frame;
    bool _hidden = false;
    std::vector<std::shared_ptr<Layer>> _sublayers;
    std::weak_ptr<Layer> _superlayer;
};

using LayerPtr = std::shared_ptr<Layer>;

} // namespace tx

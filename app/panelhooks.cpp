#include "panelhooks.h"

std::vector<int> PanelHooks::fieldDisplayOrder(const vm::Segment& segment) const {
    std::vector<int> order(segment.entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    return order;
}

// Cutting an image's texture rectangle into the cells of a grid.
#include "nodes/SGImageCellNode.h"

#include <algorithm>

#include "SGPortIDs.h"

SGImageCellNode::SGImageCellNode() {
    classFlags |= SGImageCellNodeClass;
    addOutputPort(&output, SGPortTypeImage);
    addInputPort(&input, SGPortTypeImage);
    addInputPort(&columns, SGPortTypeInteger);
    addInputPort(&rows, SGPortTypeInteger);
    addInputPort(&cell, SGPortTypeInteger);
}

void SGImageCellNode::compute() {
    SGImage image = input.imageValue();
    const int32_t columnCount = std::max(columns.intValue(), 1);
    const int32_t rowCount = std::max(rows.intValue(), 1);
    // In 64 bits: the product of two large counts must not overflow.
    const int64_t last = static_cast<int64_t>(columnCount) * rowCount - 1;
    const int64_t index = std::clamp(static_cast<int64_t>(cell.intValue()), int64_t{0}, last);
    const auto column = static_cast<float>(index % columnCount);
    const auto rowFromTop = static_cast<float>(index / columnCount);
    // s runs from s0 to s1 and t from t0 (the bottom of the picture) to t1 (its top); the
    // differences keep their sign, so a flipped rectangle stays flipped.
    SGTextureRect& r = image.textureRect;
    const float cellS = (r.s1 - r.s0) / static_cast<float>(columnCount);
    const float cellT = (r.t1 - r.t0) / static_cast<float>(rowCount);
    const float s0 = r.s0 + cellS * column;
    const float t1 = r.t1 - cellT * rowFromTop;
    r = {s0, t1 - cellT, s0 + cellS, t1};
    if (image.hasTexture()) {
        image.width = static_cast<uint32_t>(std::max(image.getWidth(), 0));
        image.height = static_cast<uint32_t>(std::max(image.getHeight(), 0));
    }
    output.value = image;
}

SGPort* SGImageCellNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortOutput: return &output;
    case SGPortInput: return &input;
    case SGPortColumns: return &columns;
    case SGPortRows: return &rows;
    case SGPortCell: return &cell;
    default: return nullptr;
    }
}

// SGImageCellNode: one cell of an image cut into a grid, as for the frames of a sprite sheet.
#ifndef SG_IMAGE_CELL_NODE_H
#define SG_IMAGE_CELL_NODE_H

#include "SGNode.h"

// The input image is cut into `columns` × `rows` equal cells, numbered from 0 row by row
// starting at the top left, as a sheet is read. The output is the input with its texture
// rectangle narrowed to cell `cell`: the texture is shared, so showing another cell changes
// four coordinates and allocates nothing. Counts below 1 count as 1 and a cell outside the
// grid is clamped to the nearest one, so any port value shows some part of the picture.
class SGImageCellNode : public SGNode {
public:
    SGImageCellNode();

    void compute() override;
    SGPort* portForID(SGPortID id) override;

    SGImagePort output;
    SGImagePort input;
    SGIntegerPort columns{1};
    SGIntegerPort rows{1};
    SGIntegerPort cell;
};

#endif

// Interpolation codes shared by the resize and warp entries.
#pragma once

enum : int {
    VPI_INTER_NN = 1,
    VPI_INTER_LINEAR = 2,
    VPI_INTER_CUBIC = 4,
    VPI_INTER_SUPER = 8,
};

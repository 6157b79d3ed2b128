// Nearest-neighbour row drivers, plain code: every destination pixel is a raw
// copy of the source pixel that the offset tables name.
#include "primitives/resize/resize_nn_rows.h"
#include "primitives/resize/resize_px.h"

VP_NN_MEMBER(ResizeNN_8u_C3_px, Vp8u, 3, nChannels)
VP_NN_MEMBER(ResizeNN_16u_C3_px, Vp16u, 3, nChannels)
VP_NN_MEMBER(ResizeNN_32f_C3_px, Vp32f, 3, nChannels)
VP_NN_MEMBER(ResizeNN_8u_C1_px, Vp8u, 1, 1)
VP_NN_MEMBER(ResizeNN_16u_C1_px, Vp16u, 1, 1)
VP_NN_MEMBER(ResizeNN_32f_C1_px, Vp32f, 1, 1)
VP_NN_MEMBER(ResizeNN_8u_C4_px, Vp8u, 4, 4)
VP_NN_MEMBER(ResizeNN_16u_C4_px, Vp16u, 4, 4)
VP_NN_MEMBER(ResizeNN_32f_C4_px, Vp32f, 4, 4)


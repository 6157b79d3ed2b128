// The registration's heap: the C heap, or the functions a test installs.
#include <cstdlib>
#include <cstring>

#include "registration/registration_core.h"

namespace {

void* (*g_alloc)(size_t) = nullptr;
void (*g_release)(void*) = nullptr;

}  // namespace

void setRegistrationHeapHooks(void* (*alloc)(size_t), void (*release)(void*)) {
    g_alloc = alloc;
    g_release = release;
}

void* regMalloc(size_t bytes) {
    if (bytes == 0) bytes = 1;
    return g_alloc != nullptr ? g_alloc(bytes) : std::malloc(bytes);
}

void* regCalloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    size_t bytes = count * size;
    if (bytes == 0) bytes = 1;
    if (g_alloc == nullptr) return std::calloc(bytes, 1);
    void* block = g_alloc(bytes);
    if (block != nullptr) std::memset(block, 0, bytes);
    return block;
}

void regFree(void* block) {
    if (block == nullptr) return;
    if (g_release != nullptr) g_release(block);
    else std::free(block);
}

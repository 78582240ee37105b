// The native in-process clipboard behind platform/clipboard.h.
#if !defined(_WIN32)

#include "platform/clipboard.h"

#include <mutex>
#include <thread>

namespace kelvane2::platform {

namespace {

struct ClipboardState {
    std::mutex mutex;
    bool open = false;
    std::thread::id holder;
    HENHMETAFILE metafile = nullptr;

    ~ClipboardState() {
        if (metafile != nullptr) DeleteEnhMetaFile(metafile);
    }
    bool heldHere() const { return open && holder == std::this_thread::get_id(); }
};

ClipboardState& clipboard() {
    static ClipboardState state;
    return state;
}

}  // namespace

BOOL OpenClipboard(HWND owner) {
    if (owner != nullptr) return 0;
    ClipboardState& state = clipboard();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.open && !state.heldHere()) return 0;
    state.open = true;
    state.holder = std::this_thread::get_id();
    return 1;
}

BOOL EmptyClipboard() {
    ClipboardState& state = clipboard();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.heldHere()) return 0;
    if (state.metafile != nullptr) DeleteEnhMetaFile(state.metafile);
    state.metafile = nullptr;
    return 1;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    ClipboardState& state = clipboard();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.heldHere() || format != CF_ENHMETAFILE || data == nullptr) return nullptr;
    HENHMETAFILE metafile = static_cast<HENHMETAFILE>(data);
    if (state.metafile != nullptr && state.metafile != metafile) DeleteEnhMetaFile(state.metafile);
    state.metafile = metafile;
    return data;
}

HANDLE GetClipboardData(UINT format) {
    ClipboardState& state = clipboard();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.heldHere() || format != CF_ENHMETAFILE) return nullptr;
    return state.metafile;
}

BOOL CloseClipboard() {
    ClipboardState& state = clipboard();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.heldHere()) return 0;
    state.open = false;
    state.holder = std::thread::id();
    return 1;
}

}  // namespace kelvane2::platform

#endif

#include "encoder/comobject.h"

namespace kelvane2 {

std::int32_t findInterface(ComObjectRoot* object, const InterfaceEntry* table, const InterfaceId& id,
                           void** out) {
    if (out == nullptr) return kInvalidPointer;
    if (object == nullptr || table == nullptr || table[0].id == nullptr) return kInvalidArgument;
    const InterfaceEntry* found = nullptr;
    if (id == IID_IObjectBase) {
        found = &table[0];
    } else {
        for (const InterfaceEntry* entry = table; entry->id != nullptr; ++entry) {
            if (*entry->id == id) {
                found = entry;
                break;
            }
        }
    }
    if (found == nullptr) return kNoInterface;
    *out = found->view(object);
    return kStatusOk;
}

}  // namespace kelvane2

// The implementation base of the result objects and the table-driven QueryInterface they share.
#ifndef QRKIT_ENCODER_COMOBJECT_H
#define QRKIT_ENCODER_COMOBJECT_H

#include <cstdint>

#include "encoder/objectmodel.h"

namespace kelvane2 {

class ComObjectRoot;

// One row of a class's interface table: an interface id and the function that turns the object into
// that view. A table ends with a row whose id is null.
struct InterfaceEntry {
    const InterfaceId* id;
    void* (*view)(ComObjectRoot* object);
};

// The view function of an interface table row: the Interface view of a Class object.
template <class Class, class Interface>
void* viewOf(ComObjectRoot* object) {
    return static_cast<Interface*>(static_cast<Class*>(object));
}

// Looks id up in table (IID_IObjectBase takes the first row). Returns 0 with the view's address in *out
// (not yet AddRef'd: the caller adds the reference), kNoInterface, kInvalidPointer for a null out, or
// kInvalidArgument for a null object or table.
std::int32_t findInterface(ComObjectRoot* object, const InterfaceEntry* table, const InterfaceId& id,
                           void** out);

// Holds the reference count (0 after construction). Releasing the last reference deletes the object
// through the virtual destructor.
class ComObjectRoot {
  public:
    ComObjectRoot() = default;
    ComObjectRoot(const ComObjectRoot&) = delete;
    ComObjectRoot& operator=(const ComObjectRoot&) = delete;
    virtual ~ComObjectRoot() = default;

  protected:
    std::uint32_t addRefImpl() { return ++refCount_; }
    std::uint32_t releaseImpl() {
        std::uint32_t left = --refCount_;
        if (left == 0) delete this;
        return left;
    }
    std::int32_t queryInterfaceImpl(const InterfaceEntry* table, const InterfaceId& id, void** out) {
        std::int32_t status = findInterface(this, table, id, out);
        if (status == kStatusOk) addRefImpl();
        return status;
    }

  private:
    std::uint32_t refCount_ = 0;
};

}  // namespace kelvane2

#endif

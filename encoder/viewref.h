// An owning reference to one view of a result object: released exactly once when the holder goes away.
#ifndef QRKIT_ENCODER_VIEWREF_H
#define QRKIT_ENCODER_VIEWREF_H

#include "encoder/objectmodel.h"

namespace kelvane2 {

template <class View>
class ViewRef {
  public:
    ViewRef() = default;
    // Adopts one reference already held on view (may be null).
    explicit ViewRef(View* view) : view_(view) {}
    ViewRef(const ViewRef&) = delete;
    ViewRef& operator=(const ViewRef&) = delete;
    ~ViewRef() { reset(); }

    // Queries object for id into this holder (releasing what it held). Returns the query's status.
    std::int32_t query(IObjectBase* object, const InterfaceId& id) {
        reset();
        void* view = nullptr;
        std::int32_t status = object->QueryInterface(id, &view);
        if (status == kStatusOk) view_ = static_cast<View*>(view);
        return status;
    }

    void reset() {
        if (view_ != nullptr) view_->Release();
        view_ = nullptr;
    }
    // Hands the reference to the caller.
    View* detach() {
        View* view = view_;
        view_ = nullptr;
        return view;
    }
    View* get() const { return view_; }
    View* operator->() const { return view_; }
    explicit operator bool() const { return view_ != nullptr; }

  private:
    View* view_ = nullptr;
};

}  // namespace kelvane2

#endif

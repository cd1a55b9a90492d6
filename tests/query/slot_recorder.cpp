#include "slot_recorder.h"
#include "slots.h"

#include <quenlix.h>

namespace {

class SlotRecorder final : public ITableCollector {
public:
    const char* last = "";

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return Reached("QueryInterface");
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        Reached("AddRef");
        return 1;
    }
    STDMETHODIMP_(ULONG) Release() override {
        Reached("Release");
        return 1;
    }
    // Each method records its own name and answers S_OK.
#define QX_RECORD(Name, params, args)                                                                        \
    STDMETHODIMP Name params override {                                                                      \
        return Reached(#Name);                                                                               \
    }
    QX_COLLECTOR_SLOTS(QX_RECORD)
#undef QX_RECORD

private:
    HRESULT Reached(const char* name) {
        last = name;
        return S_OK;
    }
};

} // namespace

void* NewSlotRecorder() {
    // Handed across as the interface pointer, which is what a C caller holds.
    return static_cast<ITableCollector*>(new SlotRecorder());
}

void DeleteSlotRecorder(void* recorder) {
    delete static_cast<SlotRecorder*>(static_cast<ITableCollector*>(recorder));
}

const char* LastReachedMethod(void* recorder) {
    return static_cast<SlotRecorder*>(static_cast<ITableCollector*>(recorder))->last;
}

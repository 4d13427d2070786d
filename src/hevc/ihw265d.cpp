// Entry points of the H.265 decoder: argument and range checks, the handle
// registry, and the decoder instance kept in memory from the caller's
// allocation callback.
#include "hevc/ihw265d.h"

#include <mutex>
#include <new>
#include <unordered_set>

#include "hevc/hevc_decoder.h"

namespace {

struct Instance {
    Instance(const IHW265D_InitParam& p)
        : channelId(p.channelId), freeFxn(p.FreeFxn),
          decoder(p.channelId, p.LogFxn, p.eThreadType) {}
    uint32_t channelId;
    IHW265D_FreeFxn freeFxn;
    corvane::HevcDecoder decoder;
};

// Handles this decoder gave out and has not deleted. Looking a handle up here,
// instead of reading a tag through it, keeps foreign pointers untouched.
class Registry {
public:
    void Add(void* h) {
        std::lock_guard lock(mutex_);
        live_.insert(h);
    }
    bool Contains(void* h) {
        std::lock_guard lock(mutex_);
        return live_.count(h) != 0;
    }
    bool Remove(void* h) {
        std::lock_guard lock(mutex_);
        return live_.erase(h) != 0;
    }

private:
    std::mutex mutex_;
    std::unordered_set<void*> live_;
};

Registry& Handles() {
    static Registry registry;
    return registry;
}

bool InRange(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

uint32_t CheckParam(const IHW265D_InitParam& p) {
    if (!InRange(p.iMaxWidth, 8, 16384)) return IHW265D_ERR_MAX_WIDTH;
    if (!InRange(p.iMaxHeight, 8, 16384)) return IHW265D_ERR_MAX_HEIGHT;
    if (!InRange(p.iMaxRefNum, 0, 15)) return IHW265D_ERR_MAX_REF_NUM;
    if (!InRange(p.iMaxVPSNum, 1, 16)) return IHW265D_ERR_MAX_VPS_NUM;
    if (!InRange(p.iMaxSPSNum, 1, 16)) return IHW265D_ERR_MAX_SPS_NUM;
    if (!InRange(p.iMaxPPSNum, 1, 64)) return IHW265D_ERR_MAX_PPS_NUM;
    if (p.iBitDepth != 8 && p.iBitDepth != 10) return IHW265D_ERR_BIT_DEPTH;
    if (!InRange(p.eThreadType, 0, 2)) return IHW265D_ERR_THREAD_TYPE;
    if (!p.MallocFxn) return IHW265D_ERR_NO_MALLOC;
    if (!p.FreeFxn) return IHW265D_ERR_NO_FREE;
    if (!p.LogFxn) return IHW265D_ERR_NO_LOG;
    return IHW265D_OK;
}

void Destroy(Instance* instance) {
    const IHW265D_FreeFxn freeFxn = instance->freeFxn;
    const uint32_t channelId = instance->channelId;
    instance->~Instance();
    freeFxn(channelId, instance);
}

}  // namespace

// The maximum sizes and counts are checked but bind nothing: libavcodec sizes
// its buffers from each stream's parameter sets, so a stream larger than
// announced still decodes. Pictures always come out in display order; for the
// streams recorders write (no reordering) that is also the decode order.
uint32_t IHW265D_Create(IHW265D_Handle* handle, const IHW265D_InitParam* param) {
    if (!handle || !param) return IHW265D_ERR_NULL_ARGUMENT;
    *handle = nullptr;
    if (const uint32_t code = CheckParam(*param); code != IHW265D_OK) return code;
    if (param->eOutputOrder != 0 && param->eOutputOrder != 1)
        param->LogFxn(param->channelId, IHW265D_LOG_WARNING,
                      "output order %d unknown, display order used", param->eOutputOrder);
    void* memory = param->MallocFxn(param->channelId, sizeof(Instance));
    if (!memory) return IHW265D_ERR_ALLOCATION;
    auto* instance = new (memory) Instance(*param);
    if (const uint32_t code = instance->decoder.Open(); code != IHW265D_OK) {
        Destroy(instance);
        return code;
    }
    Handles().Add(instance);
    *handle = instance;
    return IHW265D_OK;
}

uint32_t IHW265D_Decode(IHW265D_Handle handle, const IHW265D_InArgs* in, IHW265D_OutArgs* out) {
    if (!handle || !in || !out) return IHW265D_ERR_NULL_ARGUMENT;
    if (!Handles().Contains(handle)) return IHW265D_ERR_FOREIGN_HANDLE;
    if (in->length > 0 && !in->stream) return IHW265D_ERR_NULL_ARGUMENT;
    return static_cast<Instance*>(handle)->decoder.Decode(*in, *out);
}

uint32_t IHW265D_Delete(IHW265D_Handle handle) {
    if (!handle) return IHW265D_ERR_NULL_ARGUMENT;
    if (!Handles().Remove(handle)) return IHW265D_ERR_FOREIGN_HANDLE;
    Destroy(static_cast<Instance*>(handle));
    return IHW265D_OK;
}

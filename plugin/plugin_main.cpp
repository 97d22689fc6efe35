#include "plugin/filter_invoke.h"
#include "plugin/filter_record.h"
#include "plugin/filter_start.h"

// The host's one way in. An adapter only: it answers the selector through the filter run and
// makes sure nothing thrown inside ever reaches the host.
extern "C" __attribute__((visibility("default"))) void PluginMain(int16 selector,
                                                                  FilterRecord* record,
                                                                  intptr_t* /*data*/,
                                                                  int16* result) {
    int16 answer = filterBadParameters;
    if (record != nullptr) {
        try {
            answer = answerSelector(selector, *record, &LumivoFilterInvoke);
        } catch (...) {
            answer = filterBadParameters;
            if (static_cast<uint32_t>(static_cast<int32_t>(selector)) == filterSelectorStart) {
                clearRequestedArea(*record);
            }
        }
    }
    if (result != nullptr) {
        *result = answer;
    }
}

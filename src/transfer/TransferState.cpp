#include "transfer/TransferState.h"

#include "base/CancelToken.h"

CTransferText g_strTransferText;
std::atomic<bool> g_bTransferDone{false};

bool DelayMs(unsigned milliseconds, const CCancelToken* cancel) {
    static const CCancelToken never;
    (cancel ? *cancel : never).Delay(milliseconds);
    return true;
}

// The USB device layer on libusb-1.0: finds the selected model's device by its
// vendor and product id, claims the interface that holds the model's bulk
// endpoints and moves 64-byte packets on them.
#pragma once

#include <memory>

#include "link/UsbDevice.h"

#ifndef JVS_HAVE_LIBUSB
#define JVS_HAVE_LIBUSB 0
#endif

#if JVS_HAVE_LIBUSB
std::unique_ptr<CUsbDeviceLayer> CreateLibusbLayer();
#endif

#include "platform/com/com.h"

namespace platform::com {

HRESULT CoInitializeEx(void*, std::uint32_t) {
  return S_OK;
}

void CoUninitialize() {}

}  // namespace platform::com

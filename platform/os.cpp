#include "platform/os.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace platform {

namespace {
Os* g_current = nullptr;
}

Os& CurrentOs() {
  if (g_current == nullptr) std::terminate();  // start-up sets it before any other code runs
  return *g_current;
}

void SetCurrentOs(Os* os) { g_current = os; }

ScopedOs::ScopedOs(Os& os) : previous_(g_current) { g_current = &os; }
ScopedOs::~ScopedOs() { g_current = previous_; }

Exception::Exception(Text message) : message_(std::move(message)), utf8_(TextToUtf8(message_)) {}

}  // namespace platform

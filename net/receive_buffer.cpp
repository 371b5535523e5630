#include "net/receive_buffer.h"

namespace inner {

void CReceiveBuffer::Append(const char* data, DWORD size) {
    if (size == 0) return;
    ::InterlockedExchangeAdd(&count_, static_cast<LONG>(size));
    Guard lock(*this);
    data_.append(data, size);
}

void CReceiveBuffer::PopData(std::string& out) {
    Guard lock(*this);
    out = std::move(data_);
    data_.clear();
}

}  // namespace inner

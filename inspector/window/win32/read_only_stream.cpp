#include "win32/read_only_stream.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "win32/com.h"

namespace {

// IAgileObject is declared only by newer SDK headers.
constexpr IID kIidAgileObject = {
    0x94ea2b94, 0xe9cc, 0x49e0, {0xc0, 0xff, 0xee, 0x64, 0xca, 0x8f, 0x5b, 0x90}};

class ReadOnlyStream final : public ComObject<IStream> {
 public:
  ReadOnlyStream(std::string_view bytes, ULONGLONG position) : bytes_(bytes), position_(position) {
    // Without it, COM would hand the web view's threads a proxy that calls back
    // into the UI thread. Should it fail, the stream only loses that.
    ::CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), &marshaler_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object != nullptr && IsEqualIID(iid, IID_IMarshal) && marshaler_ != nullptr) {
      return marshaler_->QueryInterface(iid, object);
    }
    // The stream is read on the web view's own threads, so it says it is agile.
    return query_interface(iid, object, {IID_ISequentialStream, IID_IStream, kIidAgileObject});
  }

  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG wanted, ULONG* read) override {
    if (out == nullptr) return STG_E_INVALIDPOINTER;
    const ULONGLONG available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const ULONG count = static_cast<ULONG>(std::min<ULONGLONG>(wanted, available));
    if (count > 0) std::memcpy(out, bytes_.data() + position_, count);
    position_ += count;
    if (read != nullptr) *read = count;
    return count == wanted ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
    if (written != nullptr) *written = 0;
    return STG_E_ACCESSDENIED;
  }

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* new_position) override {
    ULONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET:
        base = 0;
        break;
      case STREAM_SEEK_CUR:
        base = position_;
        break;
      case STREAM_SEEK_END:
        base = bytes_.size();
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    // From the start the move is unsigned; otherwise it is signed and must not wrap.
    const ULONGLONG distance = static_cast<ULONGLONG>(move.QuadPart);
    ULONGLONG target;
    if (origin == STREAM_SEEK_SET) {
      target = distance;
    } else if (move.QuadPart >= 0) {
      if (distance > ~0ULL - base) return STG_E_INVALIDFUNCTION;
      target = base + distance;
    } else {
      const ULONGLONG back = 0 - distance;
      if (back > base) return STG_E_INVALIDFUNCTION;
      target = base - back;
    }
    position_ = target;
    if (new_position != nullptr) new_position->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }

  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER wanted, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override {
    if (target == nullptr) return STG_E_INVALIDPOINTER;
    const ULONGLONG available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    ULONGLONG left = std::min<ULONGLONG>(wanted.QuadPart, available);
    ULONGLONG total_read = 0;
    ULONGLONG total_written = 0;
    HRESULT result = S_OK;
    while (left > 0) {
      const ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(left, 1u << 30));
      ULONG chunk_written = 0;
      result = target->Write(bytes_.data() + position_, chunk, &chunk_written);
      position_ += chunk;
      total_read += chunk;
      total_written += chunk_written;
      left -= chunk;
      if (FAILED(result)) break;
    }
    if (read != nullptr) read->QuadPart = total_read;
    if (written != nullptr) written->QuadPart = total_written;
    return result;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = STGM_READ;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
    if (copy == nullptr) return STG_E_INVALIDPOINTER;
    *copy = new ReadOnlyStream(bytes_, position_);
    return S_OK;
  }

 private:
  ~ReadOnlyStream() override {
    if (marshaler_ != nullptr) marshaler_->Release();
  }

  std::string_view bytes_;
  ULONGLONG position_;
  IUnknown* marshaler_ = nullptr;  // the free-threaded marshaler, aggregated
};

}  // namespace

IStream* new_read_only_stream(std::string_view bytes) {
  return new ReadOnlyStream(bytes, 0);
}

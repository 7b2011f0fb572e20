#include "archive/stored_reading.h"

#include "archive/crc32.h"

namespace {

// Forwards plain bytes to the next sink, if any, taking their CRC-32 on the way.
class CrcSink : public ByteSink {
 public:
  explicit CrcSink(ByteSink* next) : next_(next) {}
  bool Take(const uint8_t* data, size_t size) override {
    crc = Crc32Update(crc, data, size);
    return next_ == nullptr || next_->Take(data, size);
  }
  uint32_t crc = 0;

 private:
  ByteSink* next_;
};

// Feeds the stored pieces of a deflated entry to an inflater.
class InflateSink : public ByteSink {
 public:
  InflateSink(uint32_t size, ByteSink* plain) : inflater_(size), plain_(plain) {}
  bool Take(const uint8_t* data, size_t size) override {
    status_ = inflater_.Feed(data, size, plain_);
    // A stream that ended needs none of the bytes after it.
    return status_ == InflateStream::Status::More;
  }
  EntryLoad Result() const { return LoadOfInflate(inflater_.Finish()); }

 private:
  InflateStream inflater_;
  ByteSink* plain_;
  InflateStream::Status status_ = InflateStream::Status::More;
};

}  // namespace

EntryLoad LoadOfInflate(InflateStream::Status status) {
  switch (status) {
    case InflateStream::Status::Ended:
      return EntryLoad::Ok;
    case InflateStream::Status::Stopped:
      return EntryLoad::Stopped;
    case InflateStream::Status::NoMemory:
      return EntryLoad::NoMemory;
    default:
      return EntryLoad::ReadFailed;
  }
}

EntryLoad ReadStoredBytes(FILE* file, const StoredBytes& where, ByteSink* sink) {
  CrcSink crc(sink);
  EntryLoad read;
  if (!where.deflated) {
    read = ReadPieces(file, where.offset, where.size, &crc);
  } else {
    InflateSink inflate(where.size, &crc);
    read = ReadPieces(file, where.offset, where.storedSize, &inflate);
    if (read == EntryLoad::Stopped || read == EntryLoad::Ok) read = inflate.Result();
  }
  if (read != EntryLoad::Ok) return read;
  if (where.hasCrc && crc.crc != where.crc) return EntryLoad::CrcMismatch;
  return EntryLoad::Ok;
}

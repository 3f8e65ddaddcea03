#include "extract/extract_entry.h"

#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "api/extract_job.h"
#include "api/library_state.h"
#include "archive/archive_handle.h"
#include "archive/entry_extras.h"
#include "archive/entry_names.h"
#include "archive/zip_format.h"
#include "codec/deflate64.h"
#include "crypto/aes_extra_field.h"
#include "crypto/password_buffer.h"
#include "extract/entry_decryption.h"
#include "extract/output_files.h"
#include "extract/running_crc.h"
#include "ui/overwrite_dialog.h"
#include "ui/progress_window.h"
#include "varno_results.h"

namespace {

constexpr uint32_t kInputSize = 0x100000;   // first MiB of the work area
constexpr uint32_t kOutputSize = 0x100000;  // second MiB: Deflate output
constexpr uint32_t kReadPhase = 4096;
constexpr uint64_t kMemoryBlockLimit = 524288000;  // a block made for the caller stays below this

// Where the decoded bytes go.
struct OutputTarget {
    HANDLE file;
    uint8_t* memoryStart;
    uint8_t* memoryCursor;
    int64_t memoryLeft;  // bytes still free (64-bit: a caller's buffer may exceed 2 GiB)
    uint32_t toMemory;
    uint64_t produced;   // decoded bytes delivered, also those dropped for want of room
    DWORD writeError;    // set when a write failed
    bool full;           // a block arrived for a memory target without room
    // Verification: the delivered bytes are summed and never pass the declared size.
    bool verify;
    bool discard;        // the test command: a memory target that keeps nothing
    bool oversize;       // a block would have passed the declared size
    uint64_t declaredSize;
    RunningCrc crc;
};

// Writes a block to the target; false when it failed (writeError, full or oversize says why).
// Output beyond a memory target's room is dropped while it arrives in the same block; under
// verification every delivered byte is summed, also those dropped.
bool write_to_target(OutputTarget* target, const uint8_t* data, uint32_t length)
{
    if (length == 0)
        return true;
    if (target->verify) {
        if (length > target->declaredSize - target->produced) {
            target->oversize = true;
            return false;
        }
        target->crc.add(data, length, target->declaredSize);
    }
    if (target->toMemory) {
        if (target->discard) {
            target->produced += length;
            return true;
        }
        if (target->memoryLeft <= 0) {
            target->full = true;
            return false;
        }
        const uint32_t take = target->memoryLeft < length ? static_cast<uint32_t>(target->memoryLeft) : length;
        memcpy(target->memoryCursor, data, take);
        target->memoryCursor += take;
        target->memoryLeft -= take;
        target->produced += length;
        return true;
    }
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(target->file, data, length, &written, nullptr)) {
            target->writeError = GetLastError();
            return false;
        }
        data += written;
        length -= written;
        target->produced += written;
    }
    return true;
}

// The Deflate64 decoder's input: up to 1 MiB of the entry's remaining bytes per call.
uint32_t read_deflate64_input(void* descriptor, uint8_t** next)
{
    DecryptionContext* input = static_cast<DecryptionContext*>(descriptor);
    *next = input->buffer;
    const uint32_t want = input->remaining < kInputSize ? static_cast<uint32_t>(input->remaining) : kInputSize;
    uint32_t have = 0;
    while (have < want) {
        DWORD got = 0;
        if (!ReadFile(input->file, input->buffer + have, want - have, &got, nullptr)) {
            input->readError = GetLastError();
            return 0;
        }
        if (got == 0)
            break;
        have += got;
    }
    if (have == 0 && want > 0)
        input->endOfFile = true;
    if (!decrypt_entry_data(&input->cipher, input->buffer, have)) {
        input->decryptFailed = true;
        return 0;
    }
    input->remaining -= have;
    return have;
}

// The Deflate64 decoder's output: 0 when the block is delivered.
int write_deflate64_output(void* descriptor, uint8_t* data, uint32_t count)
{
    return write_to_target(static_cast<OutputTarget*>(descriptor), data, count) ? 0 : 1;
}

// One entry's extraction, from its local header to the finished output.
class EntryExtraction {
public:
    EntryExtraction(ExtractJob* job, HANDLE file, const uint8_t* entry)
        : job_(job), archive_(job->archive), entry_(entry), buffer_(job->workArea),
          output_(job->workArea + kInputSize)
    {
        input_.file = file;
        input_.buffer = job->workArea;
    }
    ~EntryExtraction() { release_entry_cipher(&input_.cipher); }

    void run(char* name);
    // The generation of the password an encrypted entry was tried with.
    uint32_t password_generation() const { return input_.cipher.passwordGeneration; }

private:
    bool decode_name(char* name);
    bool read_local_header();
    bool skip_name_and_extra();
    bool start_decryption();
    bool decrypt_cursor();
    int32_t data_error_result(int status) const;
    bool compose_path(bool* isDirectory);
    bool make_target();
    bool presize_file();
    bool transfer();
    bool transfer_deflate(bool* ended);
    bool transfer_deflate64();
    bool refill_input(bool* exhausted);
    void end_decoder();
    bool write_block(const uint8_t* data, uint32_t length);
    void fail_delivery();
    bool verified();
    void report_tested();
    void finish();
    void fail(int32_t result);

    ExtractJob* job_;
    ArchiveHandle* archive_;
    const uint8_t* entry_;
    uint8_t* buffer_;  // input: the first MiB of the work area
    uint8_t* output_;  // Deflate output, or the Deflate64 window
    DecryptionContext input_ = {};
    const uint8_t* local_ = nullptr;  // the buffered local header

    EntryExtraInfo extras_ = {};
    uint64_t uncompressedSize_ = 0;
    uint16_t method_ = 0;
    z_stream stream_ = {};    // next_in/avail_in are the input cursor for every method
    bool decoderReady_ = false;
    OutputTarget target_ = {INVALID_HANDLE_VALUE, nullptr, nullptr, 0, 0, 0, 0, false, false, false, false, 0, {}};
    bool targetMade_ = false;
    bool blockForCaller_ = false;
    wchar_t name_[kPathUnits];
    wchar_t path_[kPathUnits];
};

void EntryExtraction::run(char* name)
{
    job_->sink.result = 0;
    if (!decode_name(name)) {
        job_message(job_, 0, L"text code convert error");
        job_->sink.result = VARNO_ERROR_NAME_CONVERT;
        return;
    }
    extras_.flags = kExtraWantAllZip64;
    read_entry_extras(entry_, &extras_);
    uncompressedSize_ = entry_uncompressed_size(entry_, extras_);
    input_.remaining = entry_compressed_size(entry_, extras_);
    if (!read_local_header())
        return;

    method_ = read_u16(entry_ + central::method);
    if (method_ == kAesMethod) {
        ByteCursor cursor = {stream_.next_in, stream_.avail_in};
        const bool ready = setup_aes(job_, &input_, &cursor, read_u16(local_ + local::nameLength),
                                     read_u16(local_ + local::extraLength), &method_);
        stream_.next_in = cursor.next;
        stream_.avail_in = cursor.available;
        if (!ready)
            return;
    } else if (!skip_name_and_extra()) {
        return;
    }
    if (method_ != 0 && method_ != 8 && method_ != 9) {
        job_message(job_, 0, L"Archive method not support %d : %s", static_cast<int>(method_), name_);
        job_->sink.result = VARNO_ERROR_METHOD;
        return;
    }

    bool isDirectory = false;
    if (!compose_path(&isDirectory))
        return;
    if (isDirectory) {
        // Memory output and the test command make no directories.
        if (archive_->options.verifyMode == kVerifyTest)
            report_tested();
        else if (archive_->options.outputMode == 0)
            make_directories(path_);
        job_->sink.result = 0;
        return;
    }
    if (!(extras_.flags & kExtraHasTimes)) {
        const uint64_t utc = dos_time_to_utc(read_u16(entry_ + central::dosDate), read_u16(entry_ + central::dosTime));
        extras_.writeTime = extras_.accessTime = extras_.createTime = utc;
    }
    if (!make_target())
        return;

    if (method_ != 0) {
        const int status = method_ == 8
            ? inflateInit2_(&stream_, -15, "1.3.1", static_cast<int>(sizeof(z_stream)))
            : deflate64_init(&stream_, output_, "1.3.1", static_cast<int32_t>(sizeof(z_stream)));
        if (status != 0) {
            job_message(job_, 0, L"Decode initialize error %d : %s", status, path_);
            fail(VARNO_ERROR_DECODER);
            return;
        }
        decoderReady_ = true;
    }
    if (stream_.avail_in > input_.remaining)
        stream_.avail_in = static_cast<uInt>(input_.remaining);
    if (input_.remaining != 0 && !start_decryption())
        return;
    // A file written in several blocks is sized first so that it can be allocated in one
    // piece; one that a single block writes whole needs no separate (and, on some platforms,
    // costly) resize.
    if (input_.remaining != 0 && !target_.toMemory && uncompressedSize_ > kOutputSize && !presize_file())
        return;
    if (transfer())
        finish();
}

// The entry's name in UTF-16, for its path and its messages. Outside the Unicode mode a name
// that counts as UTF-8 is decoded from the entry's own bytes (taken and neutralised as the walk
// takes them), so that characters the system code page lacks keep their identity in the path;
// every other name is converted from its decoded form in the name code page.
bool EntryExtraction::decode_name(char* name)
{
    const bool keepSlashes = archive_->options.keepSlashes != 0;
    if (!keepSlashes)
        to_backslashes(name);
    if (name_code_page() != CP_UTF8) {
        CentralCursor own = {entry_, archive_->cdEnd, archive_->options.safePaths};
        char bytes[kNameSize];
        bool utf8 = false;
        if (take_central_entry(&own, bytes, &utf8) && utf8) {
            if (!keepSlashes)
                to_backslashes(bytes);
            char16_t wide[kNameSize];
            const size_t units = decode_utf8(bytes, wide);
            for (size_t i = 0; i <= units; ++i)
                name_[i] = static_cast<wchar_t>(wide[i]);
            return true;
        }
    }
    return MultiByteToWideChar(name_code_page(), name_mb_flags(), name, -1, name_, kPathUnits) != 0;
}

bool EntryExtraction::read_local_header()
{
    const uint64_t offset = entry_local_header_offset(entry_, extras_);
    uint64_t position = offset + archive_->baseOffset;  // 64-bit, with carry
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(position);
    const uint32_t phase = static_cast<uint32_t>(position % kReadPhase);
    const uint64_t fixed = kLocalHeaderSize + static_cast<uint64_t>(read_u16(entry_ + central::nameLength)) +
                           read_u16(entry_ + central::extraLength);
    // One read fetches header, name, extra field and all data when they fit in the buffer;
    // the buffer keeps the file's 4 KiB phase.
    uint32_t count = kInputSize - phase;
    if (input_.remaining < 0x100000000ull && input_.remaining + fixed + phase <= kInputSize)
        count = static_cast<uint32_t>(fixed + input_.remaining);
    DWORD got = 0;
    if (at.QuadPart < 0 || !SetFilePointerEx(input_.file, at, nullptr, FILE_BEGIN) ||
        !ReadFile(input_.file, buffer_ + phase, count, &got, nullptr)) {
        job_message(job_, 0, L"Archive read error %d", static_cast<int>(GetLastError()));
        job_->sink.result = VARNO_ERROR_ARCHIVE_READ;
        return false;
    }
    if (got < kLocalHeaderSize) {
        job_->sink.result = VARNO_ERROR_ARCHIVE_READ;
        return false;
    }
    local_ = buffer_ + phase;
    stream_.next_in = buffer_ + phase + kLocalHeaderSize;
    stream_.avail_in = got - kLocalHeaderSize;
    return true;
}

// Moves the cursor past the local header's name and extra field, or the file pointer when they
// lie beyond the bytes read.
bool EntryExtraction::skip_name_and_extra()
{
    const uint32_t available = stream_.avail_in;
    const uint32_t skip = read_u16(local_ + local::nameLength) + static_cast<uint32_t>(read_u16(local_ + local::extraLength));
    if (available >= skip) {
        stream_.next_in += skip;
        stream_.avail_in = available - skip;
    } else {
        LARGE_INTEGER forward;
        forward.QuadPart = skip - available;
        if (!SetFilePointerEx(input_.file, forward, nullptr, FILE_CURRENT)) {
            job_message(job_, 0, L"Archive read error %d", static_cast<int>(GetLastError()));
            job_->sink.result = VARNO_ERROR_ARCHIVE_READ;
            return false;
        }
        stream_.next_in = buffer_;
        stream_.avail_in = 0;
    }
    return true;
}

// A traditionally encrypted entry: its header is read and the cipher keyed (an AES entry was
// set up with its local header).
bool EntryExtraction::start_decryption()
{
    const uint16_t flags = read_u16(entry_ + central::flags);
    if (!(flags & kFlagEncrypted) || input_.cipher.kind != kNotEncrypted)
        return true;
    input_.cipher.kind = kTraditionalEncryption;
    const uint8_t check = traditional_check_byte(flags, read_u16(entry_ + central::dosTime), read_u32(entry_ + central::crc32));
    ByteCursor cursor = {stream_.next_in, stream_.avail_in};
    const bool keyed = read_encryption_header(job_, &input_, &cursor, check);
    stream_.next_in = cursor.next;
    stream_.avail_in = cursor.available;
    if (!keyed)
        fail(job_->sink.result);
    return keyed;
}

// Decrypts the bytes at the cursor in place; false (the entry failed) when the platform's AES did.
bool EntryExtraction::decrypt_cursor()
{
    if (decrypt_entry_data(&input_.cipher, stream_.next_in, stream_.avail_in))
        return true;
    fail(VARNO_ERROR_DATA);
    return false;
}

// A data error in an encrypted entry most likely comes from a wrong password: the job driver
// then forgets the password and extracts the entry again.
int32_t EntryExtraction::data_error_result(int status) const
{
    return status == Z_DATA_ERROR && input_.cipher.kind != kNotEncrypted ? kResultWrongPassword : VARNO_ERROR_DATA;
}

// The output path: the destination word and the name (or its last part with junkPaths), and
// whether the entry is a directory: by a trailing separator, or by its attributes alone.
// A path that does not fit is refused rather than cut, so that no other file is written.
bool EntryExtraction::compose_path(bool* isDirectory)
{
    // The test command writes nothing: its messages name the entry as it is stored.
    const bool testing = archive_->options.verifyMode == kVerifyTest;
    if (testing)
        memcpy(path_, name_, sizeof name_);
    wchar_t* lastSeparator = last_separator(name_);
    if (lastSeparator && lastSeparator[1] == 0) {
        *isDirectory = true;
        *lastSeparator = 0;
    } else {
        // Some tools mark a directory only by its attributes, without a trailing separator.
        *isDirectory = marked_as_directory(entry_, uncompressedSize_);
    }
    if (testing)
        return true;
    const bool inMemory = archive_->options.outputMode != 0;
    const wchar_t* directory = inMemory ? L"<stdio>" : job_->outputDir;
    if (job_->outputDir[0] == 0) {
        memcpy(path_, name_, sizeof name_);
        return true;
    }
    const wchar_t* part = name_;
    if (archive_->options.junkPaths) {
        if (const wchar_t* separator = last_separator(name_))
            part = separator + 1;
    }
    const size_t dirLength = wcslen(directory);
    const size_t partLength = wcslen(part);
    if (dirLength + 1 + partLength >= static_cast<size_t>(kPathUnits)) {
        job_message(job_, 0, L"Write error %d : %s", ERROR_FILENAME_EXCED_RANGE, name_);
        job_->sink.result = VARNO_ERROR_OUTPUT_FILE;
        return false;
    }
    wchar_t composed[kPathUnits];
    memcpy(composed, directory, dirLength * sizeof(wchar_t));
    composed[dirLength] = L'\\';
    memcpy(composed + dirLength + 1, part, (partLength + 1) * sizeof(wchar_t));
    memcpy(path_, composed, sizeof composed);
    return true;
}

bool EntryExtraction::make_target()
{
    const int32_t outputMode = archive_->options.outputMode;
    target_.verify = archive_->options.verifyMode != kVerifyOff;
    target_.declaredSize = uncompressedSize_;
    if (archive_->options.verifyMode == kVerifyTest) {
        target_.toMemory = 1;
        target_.discard = true;
        targetMade_ = true;
        return true;
    }
    if (outputMode == 0) {
        extras_.entry = entry_;
        HANDLE file = create_output_file(job_, path_, &extras_);
        if (!file)
            return false;
        target_.file = file;
        targetMade_ = true;
        return true;
    }
    if (outputMode & 0x10) {
        ParamBlock* params = job_->params;
        if (!params || !params->memorySlot || *params->memorySlot || uncompressedSize_ >= kMemoryBlockLimit) {
            job_->sink.result = VARNO_ERROR_MEMORY_OUTPUT;
            return false;
        }
        void* block = GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(uncompressedSize_));
        if (!block) {
            job_->sink.result = VARNO_ERROR_MEMORY_OUTPUT;
            return false;
        }
        *params->memorySlot = block;
        blockForCaller_ = true;
        target_.memoryStart = static_cast<uint8_t*>(block);
        target_.memoryLeft = static_cast<int64_t>(uncompressedSize_);
    } else {
        // The caller's text buffer; the sink's own cursor does not move with the data.
        MessageSink& sink = job_->sink;
        if (outputMode & 4) {
            target_.memoryStart = reinterpret_cast<uint8_t*>(sink.start);
            target_.memoryLeft = static_cast<int64_t>((sink.cursor - sink.start) + sink.remaining);
        } else {
            target_.memoryStart = reinterpret_cast<uint8_t*>(sink.cursor);
            target_.memoryLeft = static_cast<int64_t>(sink.remaining);
        }
    }
    if ((outputMode & 8) && job_->params) {
        ParamBlock* params = job_->params;
        if (params->timeOut)
            *params->timeOut = read_u16(entry_ + central::dosTime);
        if (params->attributesOut)
            *params->attributesOut = read_u16(entry_ + central::internalAttributes);
        if (params->sizeOut)
            *params->sizeOut = static_cast<uint32_t>(uncompressedSize_);
    }
    target_.memoryCursor = target_.memoryStart;
    target_.toMemory = 1;
    targetMade_ = true;
    return true;
}

bool EntryExtraction::presize_file()
{
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(uncompressedSize_);
    LARGE_INTEGER start = {};
    if (size.QuadPart < 0 || !SetFilePointerEx(target_.file, size, nullptr, FILE_CURRENT) ||
        !SetEndOfFile(target_.file) || !SetFilePointerEx(target_.file, start, nullptr, FILE_BEGIN)) {
        job_message(job_, 0, L"Write error %d : %s", static_cast<int>(GetLastError()), path_);
        fail(VARNO_ERROR_OUTPUT_FILE);
        return false;
    }
    return true;
}

bool EntryExtraction::write_block(const uint8_t* data, uint32_t length)
{
    if (write_to_target(&target_, data, length))
        return true;
    fail_delivery();
    return false;
}

// Ends the entry after the target refused a block.
void EntryExtraction::fail_delivery()
{
    if (target_.oversize) {
        job_message(job_, 0, L"Size error : %s", path_);
        fail(VARNO_ERROR_DATA);
        return;
    }
    job_message(job_, 0, L"Write error %d : %s", static_cast<int>(target_.full ? GetLastError() : target_.writeError), path_);
    fail(VARNO_ERROR_OUTPUT_FILE);
}

// Reads the next chunk of compressed bytes when the cursor is empty. *exhausted is set when
// every compressed byte of the entry has been read.
bool EntryExtraction::refill_input(bool* exhausted)
{
    *exhausted = false;
    if (stream_.avail_in > 0)
        return true;
    if (input_.remaining == 0) {
        *exhausted = true;
        return true;
    }
    const DWORD want = input_.remaining < kInputSize ? static_cast<DWORD>(input_.remaining) : kInputSize;
    DWORD got = 0;
    if (!ReadFile(input_.file, buffer_, want, &got, nullptr)) {
        job_message(job_, 0, L"Read error %d : %s", static_cast<int>(GetLastError()), path_);
        fail(VARNO_ERROR_ARCHIVE_READ);
        return false;
    }
    if (got == 0) {
        job_message(job_, 0, L"EOF error : %s", path_);
        fail(VARNO_ERROR_DATA);
        return false;
    }
    stream_.next_in = buffer_;
    stream_.avail_in = got;
    input_.remaining -= got;
    return decrypt_cursor();
}

// Transfer passes: each looks at the shared state, then moves one chunk of input to the target.
bool EntryExtraction::transfer()
{
    // The bytes read together with the local header count as read.
    input_.remaining -= stream_.avail_in;
    if (!decrypt_cursor())
        return false;
    for (;;) {
        const LONG state = archive_->sharedState;
        // A question or dialog holds every loop until it is answered. A worker appending its
        // messages (-4) holds nothing: it copies a few kilobytes, and a loop that slept 200 ms
        // on each such copy made workers that report every entry several times slower.
        if (state < 0 && state != -4) {
            if (state == -2 && job_->isMainJob)
                answer_overwrite_request(archive_);
            else
                Sleep(200);
            continue;
        }
        if (state > 0) {
            fail(state);
            return false;
        }
        if (job_->isMainJob && progress_tick_when_due(archive_) > 0) {
            fail(VARNO_ERROR_CANCELLED);
            return false;
        }
        if (method_ == 9) {
            if (stream_.avail_in == 0 && input_.remaining == 0)
                return true;  // an entry without compressed bytes
            return transfer_deflate64();
        }
        bool exhausted = false;
        if (!refill_input(&exhausted))
            return false;
        if (exhausted) {
            // Every compressed byte is used up. A Deflate stream that stopped short of its
            // declared size is a damaged entry, not one with a zero-filled tail.
            if (method_ == 8 && target_.produced < uncompressedSize_) {
                job_message(job_, 0, L"EOF error : %s", path_);
                fail(VARNO_ERROR_DATA);
                return false;
            }
            return true;
        }
        if (method_ == 0) {
            const bool written = write_block(stream_.next_in, stream_.avail_in);
            stream_.next_in = buffer_;
            stream_.avail_in = 0;
            if (!written)
                return false;
            continue;
        }
        bool ended = false;
        if (!transfer_deflate(&ended))
            return false;
        if (ended)
            return true;
    }
}

// Inflates the cursor's bytes, 1 MiB of output at a time; *ended tells the end of the stream.
bool EntryExtraction::transfer_deflate(bool* ended)
{
    for (;;) {
        stream_.next_out = output_;
        stream_.avail_out = kOutputSize;
        int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_NEED_DICT)
            status = -1;
        if (status == Z_DATA_ERROR || status == Z_MEM_ERROR || status == -1) {
            job_message(job_, 0, L"Decode error %d : %s", status, path_);
            fail(data_error_result(status));
            return false;
        }
        if (!write_block(output_, kOutputSize - stream_.avail_out))
            return false;
        if (stream_.avail_out != 0) {
            *ended = status == Z_STREAM_END;
            return true;
        }
    }
}

// The Deflate64 decoder takes the rest of the entry in one call, pulling its input and pushing
// its windows through the two functions above. It never runs twice on one entry.
bool EntryExtraction::transfer_deflate64()
{
    const int status = deflate64_decode(&stream_, read_deflate64_input, &input_, write_deflate64_output, &target_);
    if (status == kDeflate64StreamEnd)
        return true;
    if (target_.full || target_.writeError || target_.oversize) {
        fail_delivery();
    } else if (input_.decryptFailed) {
        fail(VARNO_ERROR_DATA);
    } else if (input_.readError) {
        job_message(job_, 0, L"Read error %d : %s", static_cast<int>(input_.readError), path_);
        fail(VARNO_ERROR_ARCHIVE_READ);
    } else if (status == kDeflate64BufferError) {
        job_message(job_, 0, L"EOF error : %s", path_);
        fail(VARNO_ERROR_DATA);
    } else {
        job_message(job_, 0, L"Decode error %d : %s", status, path_);
        fail(data_error_result(status));
    }
    return false;
}

void EntryExtraction::end_decoder()
{
    if (!decoderReady_)
        return;
    if (method_ == 8)
        inflateEnd(&stream_);
    else
        deflate64_end(&stream_);
    decoderReady_ = false;
}

// Under verification: the delivered bytes against the central header's size and CRC-32.
bool EntryExtraction::verified()
{
    if (!target_.verify)
        return true;
    if (target_.produced != uncompressedSize_) {
        job_message(job_, 0, L"Size error : %s", path_);
        fail(VARNO_ERROR_DATA);
        return false;
    }
    // An AES entry may record no CRC (AE-2 stores 0): its size is all there is to check.
    const uint32_t recorded = read_u32(entry_ + central::crc32);
    const bool crcRecorded = recorded != 0 || input_.cipher.kind != kAesEncryption;
    if (crcRecorded && target_.crc.value() != recorded) {
        job_message(job_, 0, L"CRC error : %s", path_);
        fail(VARNO_ERROR_DATA);
        return false;
    }
    return true;
}

// The test command's line for an entry that passed; quiet with -q, like the notices.
void EntryExtraction::report_tested()
{
    if (job_wants_message(job_, 1) || job_wants_message(job_, 2))
        write_message(&job_->sink, L"OK : %s", path_);
}

void EntryExtraction::finish()
{
    end_decoder();
    if (!verified())
        return;
    if (!target_.toMemory) {
        // A stream that ended before its declared size leaves no zero-filled tail behind.
        if (target_.produced < uncompressedSize_)
            SetEndOfFile(target_.file);
        // A time an extra record left at 0 keeps the file system's own value.
        FILETIME times[3];
        const uint64_t values[3] = {extras_.createTime, extras_.accessTime, extras_.writeTime};
        for (int i = 0; i < 3; ++i)
            times[i] = {static_cast<DWORD>(values[i]), static_cast<DWORD>(values[i] >> 32)};
        SetFileTime(target_.file, values[0] ? &times[0] : nullptr, values[1] ? &times[1] : nullptr,
                    values[2] ? &times[2] : nullptr);
        CloseHandle(target_.file);
    }
    job_->sink.result = 0;
    if (target_.discard)
        report_tested();
    else
        job_message(job_, 2, L"%s\r\n", path_);
}

// Ends a failed entry: the decoder is ended and a partial output removed.
void EntryExtraction::fail(int32_t result)
{
    end_decoder();
    if (targetMade_) {
        if (!target_.toMemory) {
            CloseHandle(target_.file);
            DeleteFileW(path_);
        } else if (blockForCaller_) {
            GlobalFree(*job_->params->memorySlot);
            *job_->params->memorySlot = nullptr;
        }
        targetMade_ = false;
    }
    job_->sink.result = result;
}

}  // namespace

void extract_entry_with_retries(ExtractJob* job, HANDLE file, const uint8_t* entry, char* name)
{
    for (;;) {
        EntryExtraction extraction(job, file, entry);
        extraction.run(name);
        if (job->sink.result != kResultWrongPassword)
            return;
        forget_password(extraction.password_generation());
    }
}

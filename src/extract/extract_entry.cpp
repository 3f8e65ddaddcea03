// One entry, from its local header to the finished output: the entry is located and set up
// here (its name and path, the local header, decryption, the decoder of its method, the output
// target), then transferred (entry_transfer.cpp) and its output completed or removed.
#include "extract/extract_entry.h"

#include <string.h>
#include <wchar.h>

#include "archive/archive_handle.h"
#include "archive/entry_extras.h"
#include "archive/entry_names.h"
#include "archive/zip_format.h"
#include "codec/decoder.h"
#include "core/extract_job.h"
#include "core/library_state.h"
#include "crypto/aes_extra_field.h"
#include "crypto/password_buffer.h"
#include "extract/entry_decryption.h"
#include "extract/entry_transfer.h"
#include "extract/job_messages.h"
#include "extract/output_files.h"
#include "extract/output_target.h"
#include "varno_results.h"

namespace {

constexpr uint32_t kInputSize = 0x100000;   // first MiB of the work area
constexpr uint32_t kOutputSize = 0x100000;  // second MiB: the decoder's buffer
constexpr uint32_t kReadPhase = 4096;

// True for a path part made of dots and separators only, which names no file below the folder.
bool names_no_file(const wchar_t* part)
{
    for (; *part; ++part) {
        if (*part != L'.' && *part != L'\\' && *part != L'/')
            return false;
    }
    return true;
}

class EntryExtraction {
public:
    EntryExtraction(ExtractJob* job, ByteSource* source, const uint8_t* entry)
        : job_(job), archive_(job->archive), entry_(entry), buffer_(job->workArea),
          output_(job->workArea + kInputSize)
    {
        input_.source = source;
        input_.buffer = job->workArea;
    }
    ~EntryExtraction() { release_entry_cipher(&input_.cipher); }

    void run(char* name);
    // The generation of the password an encrypted entry was tried with.
    uint32_t password_generation() const { return input_.cipher.passwordGeneration; }

private:
    bool decode_name(char* name);
    bool read_local_header();
    void skip_name_and_extra();
    bool start_decryption();
    bool compose_path(bool* isDirectory);
    void end_decoder();
    void report_tested();
    void finish();
    void fail(int32_t result);

    ExtractJob* job_;
    ArchiveHandle* archive_;
    const uint8_t* entry_;
    uint8_t* buffer_;  // input: the first MiB of the work area
    uint8_t* output_;  // the decoder's buffer
    DecryptionContext input_ = {};
    ByteCursor cursor_ = {};          // bytes read with the local header, not yet consumed
    const uint8_t* local_ = nullptr;  // the buffered local header

    EntryExtraInfo extras_ = {};
    uint64_t uncompressedSize_ = 0;
    uint16_t method_ = 0;
    const EntryDecoder* decoder_ = nullptr;
    DecoderState decoderState_;
    bool decoderReady_ = false;
    OutputTarget target_;
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
    bool isDirectory = false;
    if (!compose_path(&isDirectory))
        return;
    // An entry that shares its bytes with another is not expanded, nor one whose bytes would
    // lie past the end of the archive; nothing of it is read. The entry an archive cut short
    // ends in fails as the archive does.
    if (const Refusal refusal = entry_refused(archive_, entry_); refusal != Refusal::none && !isDirectory) {
        if (refusal == Refusal::overlap)
            job_message(job_, 0, L"Overlap error : %s", path_);
        else
            job_message(job_, 0, L"EOF error : %s", path_);
        job_->sink.result = refusal == Refusal::cutShort ? VARNO_ERROR_DECODER : VARNO_ERROR_DATA;
        return;
    }
    if (!read_local_header())
        return;

    method_ = read_u16(entry_ + central::method);
    if (method_ == kAesMethod) {
        if (!setup_aes(job_, &input_, &cursor_, read_u16(local_ + local::nameLength),
                       read_u16(local_ + local::extraLength), &method_))
            return;
    } else {
        skip_name_and_extra();
    }
    decoder_ = find_decoder(method_);
    if (!decoder_) {
        job_message(job_, 0, L"Archive method not support %d : %s", static_cast<int>(method_), name_);
        job_->sink.result = VARNO_ERROR_METHOD;
        return;
    }

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
    extras_.entry = entry_;
    // An AES entry may record no CRC (AE-2 stores 0): its size and code are all there is to check.
    const bool crcRecorded = read_u32(entry_ + central::crc32) != 0 || input_.cipher.kind != kAesEncryption;
    if (!target_.make(job_, path_, &extras_, uncompressedSize_, crcRecorded))
        return;

    const int status = decoder_->start(&decoderState_, output_, kOutputSize);
    if (status != 0) {
        job_message(job_, 0, L"Decode initialize error %d : %s", status, path_);
        fail(VARNO_ERROR_DECODER);
        return;
    }
    decoderReady_ = true;
    if (cursor_.available > input_.remaining)
        cursor_.available = static_cast<uint32_t>(input_.remaining);
    if (input_.remaining != 0 && !start_decryption())
        return;
    // A file written in several blocks is sized first so that it can be allocated in one
    // piece; one that a single block writes whole needs no separate (and, on some platforms,
    // costly) resize.
    if (input_.remaining != 0 && !target_.to_memory() && uncompressedSize_ > kOutputSize && !target_.presize()) {
        fail(job_->sink.result);
        return;
    }
    const int32_t result = transfer_entry(job_, &input_, cursor_, decoder_, &decoderState_, &target_,
                                          read_u16(entry_ + central::flags), path_);
    if (result != 0)
        fail(result);
    else
        finish();
}

bool EntryExtraction::decode_name(char* name) { return decode_entry_name(archive_, entry_, name, name_); }

bool EntryExtraction::read_local_header()
{
    const uint64_t position = entry_position(entry_, extras_, archive_layout(archive_));
    const uint32_t phase = static_cast<uint32_t>(position % kReadPhase);
    const uint64_t fixed = kLocalHeaderSize + static_cast<uint64_t>(read_u16(entry_ + central::nameLength)) +
                           read_u16(entry_ + central::extraLength);
    // One read fetches header, name, extra field and all data when they fit in the buffer;
    // the buffer keeps the file's 4 KiB phase.
    uint32_t count = kInputSize - phase;
    if (input_.remaining < 0x100000000ull && input_.remaining + fixed + phase <= kInputSize)
        count = static_cast<uint32_t>(fixed + input_.remaining);
    const int64_t got = position < (1ull << 63) ? input_.source->read_at(position, buffer_ + phase, count) : -1;
    if (got < 0) {
        if (position >= (1ull << 63))
            SetLastError(ERROR_NEGATIVE_SEEK);
        job_message(job_, 0, L"Archive read error %d", static_cast<int>(GetLastError()));
        job_->sink.result = VARNO_ERROR_ARCHIVE_READ;
        return false;
    }
    // An entry of which a part of its set lacks any byte is not extracted, nor begun.
    const uint8_t* header = buffer_ + phase;
    const uint64_t headerBytes = got < kLocalHeaderSize ? kLocalHeaderSize
                                                        : kLocalHeaderSize + read_u16(header + local::nameLength) +
                                                              static_cast<uint64_t>(read_u16(header + local::extraLength));
    const uint64_t end = position + headerBytes + input_.remaining;
    if (const int64_t missing = archive_missing_part(archive_, position, end < position ? UINT64_MAX : end); missing >= 0) {
        wchar_t part[MAX_PATH];
        part_file_name(archive_->parts, static_cast<uint32_t>(missing), part, MAX_PATH);
        job_message(job_, 0, kMissingPartFormat, part);
        InterlockedExchange(&archive_->missingPartReported, 1);
        job_->sink.result = 0;
        return false;
    }
    if (got < kLocalHeaderSize) {
        job_->sink.result = VARNO_ERROR_ARCHIVE_READ;
        return false;
    }
    local_ = buffer_ + phase;
    cursor_.next = buffer_ + phase + kLocalHeaderSize;
    cursor_.available = static_cast<uint32_t>(got) - kLocalHeaderSize;
    input_.position = position + static_cast<uint64_t>(got);
    return true;
}

// Moves the cursor past the local header's name and extra field, or the reading position when
// they lie beyond the bytes read.
void EntryExtraction::skip_name_and_extra()
{
    const uint32_t available = cursor_.available;
    const uint32_t skip = read_u16(local_ + local::nameLength) + static_cast<uint32_t>(read_u16(local_ + local::extraLength));
    if (available >= skip) {
        cursor_.next += skip;
        cursor_.available = available - skip;
    } else {
        input_.position += skip - available;
        cursor_.next = buffer_;
        cursor_.available = 0;
    }
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
    const bool keyed = read_encryption_header(job_, &input_, &cursor_, check);
    if (!keyed)
        fail(job_->sink.result);
    return keyed;
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
    bool trailingSeparator = false;
    const wchar_t* part = output_part(name_, archive_->options.junkPaths && job_->outputDir[0] != 0, &trailingSeparator);
    // Some tools mark a directory only by its attributes, without a trailing separator.
    *isDirectory = trailingSeparator || marked_as_directory(entry_, uncompressedSize_);
    if (testing)
        return true;
    const bool inMemory = archive_->options.outputMode != 0;
    const wchar_t* directory = inMemory ? L"<stdio>" : job_->outputDir;
    // A name of dots and separators only (empty, ".", "./.") names the output folder itself:
    // the entry is taken for that folder's directory entry, whatever data it holds.
    const bool nameless = !inMemory && names_no_file(part);
    if (nameless) {
        *isDirectory = true;
        part = L"";
    }
    if (job_->outputDir[0] == 0) {
        if (nameless)
            wcscpy(path_, L".");
        else
            memcpy(path_, name_, sizeof name_);
        return true;
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
    composed[dirLength] = part[0] ? L'\\' : 0;
    memcpy(composed + dirLength + 1, part, (partLength + 1) * sizeof(wchar_t));
    memcpy(path_, composed, sizeof composed);
    return true;
}

void EntryExtraction::end_decoder()
{
    if (!decoderReady_)
        return;
    decoder_->end(&decoderState_);
    decoderReady_ = false;
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
    const int32_t verdict = target_.verify();
    if (verdict != 0) {
        fail(verdict);
        return;
    }
    if (!target_.finish())
        return;
    job_->sink.result = 0;
    if (target_.discards())
        report_tested();
    else
        job_message(job_, 2, L"%s\r\n", path_);
}

// Ends a failed entry: the decoder is ended and a partial output removed.
void EntryExtraction::fail(int32_t result)
{
    end_decoder();
    target_.discard();
    job_->sink.result = result;
}

}  // namespace

// Outside the Unicode mode a name that counts as UTF-8 is decoded from the entry's own bytes
// (taken and neutralised as the walk takes them), so that characters the system code page lacks
// keep their identity in the path; every other name is converted from its decoded form in the
// name code page.
bool decode_entry_name(const ArchiveHandle* archive, const uint8_t* entry, char* name, wchar_t* wide)
{
    const bool keepSlashes = archive->options.keepSlashes != 0;
    if (!keepSlashes)
        to_backslashes(name);
    if (name_code_page() != CP_UTF8) {
        CentralCursor own = {entry, archive->cdEnd, archive->options.safePaths};
        char bytes[kNameSize];
        bool utf8 = false;
        if (take_central_entry(&own, bytes, &utf8) && utf8) {
            if (!keepSlashes)
                to_backslashes(bytes);
            char16_t units[kNameSize];
            const size_t count = decode_utf8(bytes, units);
            for (size_t i = 0; i <= count; ++i)
                wide[i] = static_cast<wchar_t>(units[i]);
            return true;
        }
    }
    return MultiByteToWideChar(name_code_page(), name_mb_flags(), name, -1, wide, kPathUnits) != 0;
}

wchar_t* output_part(wchar_t* name, bool junkPaths, bool* trailingSeparator)
{
    wchar_t* separator = last_separator(name);
    *trailingSeparator = separator && separator[1] == 0;
    if (*trailingSeparator) {
        *separator = 0;
        separator = last_separator(name);
    }
    return junkPaths && separator ? separator + 1 : name;
}

void extract_entry_with_retries(ExtractJob* job, ByteSource* source, const uint8_t* entry, char* name)
{
    for (;;) {
        EntryExtraction extraction(job, source, entry);
        extraction.run(name);
        if (job->sink.result != kResultWrongPassword)
            return;
        forget_password(extraction.password_generation());
    }
}

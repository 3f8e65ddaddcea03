// The transfer loop of one entry: its compressed bytes are read from the archive a chunk at a
// time, decrypted in place and handed to the method's decoder, which delivers the decoded
// bytes into the entry's output target. Before each chunk the loop looks at the job's shared
// state: another thread's question or dialog holds it, an abort code ends it, and on the
// caller's thread the progress window is ticked (its cancel question may end it too).
#pragma once
#include <stdint.h>

#include "codec/decoder.h"
#include "extract/entry_decryption.h"

class OutputTarget;
struct ExtractJob;

// Decodes the entry whose remaining compressed bytes input describes, the first of them at
// pending (read with the local header, not yet decrypted), with a started decoder; flags are
// the entry's general-purpose flags. Returns 0 when the data ended well, else the failure's
// result with its message written: a stream whose window is over the decoders' limit gives
// VARNO_ERROR_DECODER, a data error in an encrypted entry kResultWrongPassword. path names the
// entry in messages.
int32_t transfer_entry(ExtractJob* job, DecryptionContext* input, ByteCursor pending, const EntryDecoder* decoder,
                       DecoderState* state, OutputTarget* target, uint16_t flags, const wchar_t* path);

// The command driver: what every command export calls.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "core/extract_job.h"

// Runs one command string to its end and returns its result code.
int32_t run_command(HWND owner, const char* command, char* output, uint32_t outputSize, ParamBlock* params,
                    int32_t mode);

#pragma once
#include "FlashOptions.h"

// Each mode of quillon-flash, returning its exit status. Flash and info run the dialog's own
// operations through the console window layer.
int RunFlash(const CFlashOptions& options);
int RunInfo(const CFlashOptions& options);
int RunImageInfo(const CFlashOptions& options);

#pragma once

#include <stdint.h>

// The part of the filter plug-in host interface that the plug-in and the demo host use, with
// the published interface's names, types and values. A build against the published interface
// header replaces this file, so code touches the record's fields only by name. Plain data.

#ifndef LUMIVO_USE_PUBLISHED_FILTER_INTERFACE

typedef int16_t int16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int16 OSErr;
typedef unsigned char Boolean;
typedef char* Ptr;
typedef char** Handle;

struct Rect {
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
};

// Selectors.
inline constexpr int16 filterSelectorAbout = 0;
inline constexpr int16 filterSelectorParameters = 1;
inline constexpr int16 filterSelectorPrepare = 2;
inline constexpr int16 filterSelectorStart = 3;
inline constexpr int16 filterSelectorContinue = 4;
inline constexpr int16 filterSelectorFinish = 5;

// Result codes.
inline constexpr int16 noErr = 0;
inline constexpr int16 userCanceledErr = -128;
inline constexpr int16 filterBadParameters = -30100;
inline constexpr int16 filterBadMode = -30101;

// Image modes, filter cases and padding.
inline constexpr int16 plugInModeRGBColor = 3;
inline constexpr int16 filterCaseUnsupported = -1;
inline constexpr int16 filterCaseFlatImageNoSelection = 1;
inline constexpr int16 filterCaseFlatImageWithSelection = 2;
inline constexpr int16 filterCaseFloatingSelection = 3;
inline constexpr int16 filterCaseEditableTransparencyNoSelection = 4;
inline constexpr int16 filterCaseEditableTransparencyWithSelection = 5;
inline constexpr int16 filterCaseProtectedTransparencyNoSelection = 6;
inline constexpr int16 filterCaseProtectedTransparencyWithSelection = 7;
inline constexpr int16 plugInWantsEdgeReplication = -1;
inline constexpr int16 plugInDoesNotWantPadding = -2;
inline constexpr int16 plugInWantsErrorOnBoundsException = -3;

typedef OSErr (*AdvanceStateProc)(void);

typedef Handle (*NewPIHandleProc)(int32 size);
typedef void (*DisposePIHandleProc)(Handle h);
typedef int32 (*GetPIHandleSizeProc)(Handle h);
typedef OSErr (*SetPIHandleSizeProc)(Handle h, int32 newSize);
typedef Ptr (*LockPIHandleProc)(Handle h, Boolean moveHigh);
typedef void (*UnlockPIHandleProc)(Handle h);

struct HandleProcs {
    int16 handleProcsVersion;
    int16 numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
};

struct FilterRecord {
    int32 bufferSpace;
    AdvanceStateProc advanceState;
    int16 imageMode;
    int16 planes;
    Rect filterRect;
    Rect inRect;
    int16 inLoPlane;
    int16 inHiPlane;
    Rect outRect;
    int16 outLoPlane;
    int16 outHiPlane;
    void* inData;
    int32 inRowBytes;
    void* outData;
    int32 outRowBytes;
    int16 filterCase;
    HandleProcs* handleProcs;
    int16 inputPadding;
    int16 outputPadding;
    int32 canUseICCProfiles;
    Handle iCCprofileData;
    int32 iCCprofileSize;
};
typedef FilterRecord* FilterRecordPtr;

#endif  // LUMIVO_USE_PUBLISHED_FILTER_INTERFACE

// The exported entry point, looked up by name in LumivoFilter.so.
extern "C" typedef void (*PluginMainProc)(int16 selector, FilterRecord* record, intptr_t* data,
                                          int16* result);

/*
 * KIVPrinterDriver.h — the entry points of the Varnel printer driver module.
 *
 * A host opens the driver with KIVPrOpen, passes the record back to every call, one call
 * at a time per record, and ends with KIVPrClose. Once a call has failed, been cancelled or
 * KIVPrSetError has been called, the gated calls do nothing and return the stored code
 * until the record is closed.
 *
 * The print record (the host's Handle) is 306 bytes, big-endian and packed.
 * Results are OSErr codes: 0 success, -128 cancelled, -50 bad parameter, -108 out of memory.
 */
#ifndef KIV_PRINTER_DRIVER_H
#define KIV_PRINTER_DRIVER_H

#include <stddef.h>
#include <stdint.h>
#include <plist/plist.h>
#include <kiv/KIVPlatform.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DriverRecord DriverRecord;

/* A page size in pixels and millimetres; native byte order, 24 bytes. */
typedef struct PageGeometry {
    int32_t widthPixels, heightPixels;
    double widthMillimetres, heightMillimetres;
} PageGeometry;

/* Bottom and right are exclusive. */
typedef struct LongRect {
    int32_t top, left, bottom, right;
} LongRect;

/* The host's description of one band bitmap. */
typedef struct HostBitmap {
    void *baseAddr;
    LongRect bounds;
    uint32_t rowBytes;
    int16_t pixelFormat;
} HostBitmap;

/* The printable area, filled by KIVPrGetInfo. Native byte order, packed, 34 bytes. */
#pragma pack(push, 1)
typedef struct PageInfo {
    int32_t reserved0;   /* always 0 */
    int32_t widthPixels; /* printable width (the tile when tiled) */
    int32_t heightPixels;
    double widthMillimetres;
    double heightMillimetres;
    int16_t fromPage;
    int16_t toPage;    /* fromPage 1 with toPage 999 means all pages */
    int16_t reserved1; /* always 1 */
} PageInfo;
#pragma pack(pop)

/* Opens a driver session. The bundle is borrowed until KIVPrClose. *outRecord is set at once;
   on failure it is NULL again and the code is returned. */
KIV_EXPORT int32_t KIVPrOpen(KIVBundleRef bundle, DriverRecord **outRecord);
/* Ends the session and frees the record; a document still open is abandoned and its file
   deleted. Returns the stored failure, 0 after a cancel. */
KIV_EXPORT int32_t KIVPrClose(DriverRecord *record);

/* The host document's page (may be NULL) and the pixel format of its bands (0 keeps the
   current one). Used when the print record is next validated. */
KIV_EXPORT void KIVPrSuggestPage(DriverRecord *record, Handle printHandle, const PageGeometry *page,
                                 int16_t pixelFormat);
/* Makes the print record usable; true when it had to be reset (also when the option key
   is held). */
KIV_EXPORT uint8_t KIVPrValidate(DriverRecord *record, Handle printHandle);
/* Resets the print record to the saved page setup (306 bytes). */
KIV_EXPORT void KIVPrDefaults(DriverRecord *record, Handle printHandle);
KIV_EXPORT void KIVPrGetInfo(DriverRecord *record, Handle printHandle, PageInfo *outInfo);
/* UTF-8 job name; NULL or empty means "Untitled". Returns the stored error. */
KIV_EXPORT int32_t KIVPrSetJobName(DriverRecord *record, Handle printHandle, const char *name);

/* The page setup dialog on the print record; true when the user accepted (the setup is then
   saved as the next default). A cancel stops the job: later gated calls do nothing. */
KIV_EXPORT uint8_t KIVPrStyle(DriverRecord *record, Handle printHandle);
/* The print job dialog: page range, copies, collation and the hot folder, which is
   remembered for the next time. A cancel stops the job. */
KIV_EXPORT uint8_t KIVPrJob(DriverRecord *record, Handle printHandle);

/* {"fromPage", "toPage", "copies", "outputFolder"}; the caller frees it with plist_free. */
KIV_EXPORT plist_t KIVPrCopyJobSettings(DriverRecord *record, Handle printHandle);
/* Applies a job-settings dictionary (borrowed). False for a non-dictionary or an
   "outputFolder" that does not resolve to an existing folder. A "copies", "fromPage" or
   "toPage" that is not a whole number the record's 16-bit field holds is ignored. */
KIV_EXPORT uint8_t KIVPrSetJobSettings(DriverRecord *record, Handle printHandle, plist_t settings);
/* Copies copies, fromPage and toPage from one print record to another. */
KIV_EXPORT void KIVPrJobMerge(DriverRecord *record, Handle sourceHandle, Handle destinationHandle);

/* Starts a document: the job file is created in the hot folder (chosen in the job dialog or
   handed over with KIVPrSetJobSettings). Returns the stored error; -1 without a hot folder,
   -50 for a pixel format the driver does not take. */
KIV_EXPORT int32_t KIVPrOpenDoc(DriverRecord *record, Handle printHandle);
/* Per page: KIVPrOpenPage, any number of KIVPrPrintBitmap, KIVPrClosePage. Bands come top
   to bottom; rows no band covers print blank. -50 when no document is open. */
KIV_EXPORT int32_t KIVPrOpenPage(DriverRecord *record);
/* One band: the src rectangle of the bitmap (in its bounds' coordinates, inside them) scaled
   onto dst (page pixels). -157 for a band in another pixel format than suggested. */
KIV_EXPORT int32_t KIVPrPrintBitmap(DriverRecord *record, const HostBitmap *bitmap, const LongRect *src,
                                    const LongRect *dst);
KIV_EXPORT int32_t KIVPrClosePage(DriverRecord *record);
/* Finishes the job file, or after a failure or cancel deletes it. Returns the stored error,
   also a failed last write. */
KIV_EXPORT int32_t KIVPrCloseDoc(DriverRecord *record);
/* The path of the job file the last document became, valid after a successful KIVPrCloseDoc
   until the next KIVPrOpenDoc; NULL when it made none. malloc'ed, the caller frees it. The
   file appears in the hot folder under this name only once it is complete. */
KIV_EXPORT char *KIVPrCopyOutputFileName(DriverRecord *record);
/* Metadata for the job file's trailer while a document is open (the values are copied).
   -50 without a document or for a null key or value. */
KIV_EXPORT int32_t KIVPrSetProfile(DriverRecord *record, plist_t profile);
KIV_EXPORT int32_t KIVPrSetMetadata(DriverRecord *record, const char *key, plist_t value);
/* name followed by the local time as "(hh_mm_ss)", cut so that the whole is at most 70
   UTF-16 code units; malloc'ed, the caller frees it. */
KIV_EXPORT char *MakeDestFileName(const char *name);

/* Stops the job: later gated calls return code. */
KIV_EXPORT void KIVPrSetError(DriverRecord *record, int32_t code);
/* The user-visible text for code as a Pascal string (length byte, then the characters, UTF-8).
   For the record's stored failure it names what failed and why, after a colon. */
KIV_EXPORT void KIVPrErrorString(DriverRecord *record, int32_t code, unsigned char message[256]);

/* Built-in catalogues, in the catalogue text format: lines separated by "\r", "*" marks
   the default. */
KIV_EXPORT extern const char kDefaultPapers[];
KIV_EXPORT extern const char kDefaultResolutions[];
/* The characters that separate the lines of a catalogue text ("\r"). */
KIV_EXPORT extern const char delimiters[];

/* Keys of the metadata trailer of every raster job file. */
KIV_EXPORT extern const char kKIVPrinterDriverUUIDKey[];       /* "KIVPrinterDriver_UUID" */
KIV_EXPORT extern const char kKIVPrinterDriverPageNameKey[];   /* "KIVPrinterDriver_PageName" */
KIV_EXPORT extern const char kKIVPrinterDriverJobNameKey[];    /* "KIVPrinterDriver_JobName" */
KIV_EXPORT extern const char kKIVPrinterDriverICCProfileKey[]; /* "KIVPrinterDriver_ICCProfile" */

/* A handle holding tag bytes followed by a binary property list. Decode returns a new node
   owned by the caller, or NULL when the handle does not start with the tag or holds no
   readable list after it. */
KIV_EXPORT void EncodeHPrint(Handle handle, const void *tag, size_t tagLength, plist_t list);
KIV_EXPORT plist_t DecodeHPrint(const void *tag, size_t tagLength, Handle handle);

#ifdef __cplusplus
}
#endif

#endif /* KIV_PRINTER_DRIVER_H */

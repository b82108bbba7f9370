/*
 * KIVPlatform.h — the small platform layer shared by the printer driver and its hosts:
 * memory handles, bundles, per-user preferences, folder bookmarks and the
 * option-key and beep hooks. Plain C; property-list values are libplist nodes.
 *
 * Ownership follows the create/copy rule: what a function named Create/Copy/New
 * returns, the caller releases; what a Get function returns is borrowed.
 */
#ifndef KIV_PLATFORM_H
#define KIV_PLATFORM_H

#include <stddef.h>
#include <stdint.h>
#include <plist/plist.h>

#if defined(__GNUC__)
#define KIV_EXPORT __attribute__((visibility("default")))
#else
#define KIV_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Memory handles ---------------------------------------------------------------- */

/* A host-owned resizable block; *h is its data and moves when the block is resized. */
typedef char **Handle;

/* Zero-filled block of size bytes; NULL when size < 0 or memory is short. */
KIV_EXPORT Handle NewHandle(long size);
/* Frees the block. NULL is ignored. */
KIV_EXPORT void DisposeHandle(Handle h);
/* Size in bytes; 0 for NULL. */
KIV_EXPORT long GetHandleSize(Handle h);
/* Keeps the first min(old, new) bytes and zero-fills the rest. On failure (negative size,
   memory short, or growing a locked handle) the size is unchanged and KIVHandleError()
   reports it. */
KIV_EXPORT void SetHandleSize(Handle h, long size);
/* 0 after a successful SetHandleSize, -108 (out of memory) or -117 (locked) after a failed one,
   -50 for a bad argument. Per thread. */
KIV_EXPORT int16_t KIVHandleError(void);

/* Lock state: a locked handle's data does not move. HGetState returns the state flags
   (0x80 = locked) for HSetState to restore. */
KIV_EXPORT void HLock(Handle h);
KIV_EXPORT void HUnlock(Handle h);
KIV_EXPORT signed char HGetState(Handle h);
KIV_EXPORT void HSetState(Handle h, signed char state);

/* ---- Bundles -------------------------------------------------------------------------- */

/* A directory holding Info.plist (CFBundleIdentifier, CFBundleName,
   CFBundleShortVersionString, CFBundleExecutable) and Resources/. */
typedef struct KIVBundle *KIVBundleRef;

/* NULL if there is no readable Info.plist with a non-empty CFBundleIdentifier string.
   The driver borrows the bundle: keep it until KIVPrClose has returned. */
KIV_EXPORT KIVBundleRef KIVBundleCreate(const char *bundleDirectory);
KIV_EXPORT void KIVBundleRelease(KIVBundleRef bundle);
/* Borrowed; valid while the bundle lives. */
KIV_EXPORT const char *KIVBundleGetIdentifier(KIVBundleRef bundle);
KIV_EXPORT const char *KIVBundleGetPath(KIVBundleRef bundle);
/* Borrowed node of the Info.plist dictionary, or NULL. */
KIV_EXPORT plist_t KIVBundleGetValueForInfoDictionaryKey(KIVBundleRef bundle, const char *key);

/* ---- Preferences ---------------------------------------------------------------------- */
/* One XML property list per domain in $XDG_CONFIG_HOME/<domain>.plist (default ~/.config).
   Values set stay pending in this process until KIVPreferencesAppSynchronize. */

/* A copy of the value, owned by the caller (plist_free), or NULL. */
KIV_EXPORT plist_t KIVPreferencesCopyAppValue(const char *key, const char *domain);
/* Stores a copy of value (the caller keeps its own); NULL removes the key. */
KIV_EXPORT void KIVPreferencesSetAppValue(const char *key, plist_t value, const char *domain);
/* Merges the pending changes into the file under a lock and re-reads it. 1 on success. */
KIV_EXPORT uint8_t KIVPreferencesAppSynchronize(const char *domain);
/* The integer stored under key; *keyExistsAndHasValidFormat (may be NULL) tells whether
   the key held an integer. 0 when it did not. */
KIV_EXPORT long KIVPreferencesGetAppIntegerValue(const char *key, const char *domain,
                                                 uint8_t *keyExistsAndHasValidFormat);

/* ---- Bookmarks ------------------------------------------------------------------------ */

/* Opaque data designating an existing file or folder: a PLIST_DATA node owned by the
   caller, or NULL when the path does not exist. */
KIV_EXPORT plist_t KIVCreateBookmarkDataForPath(const char *path);
/* The absolute path of the folder a bookmark designates, malloc'ed, or NULL when the data is
   not a bookmark or the folder no longer exists. */
KIV_EXPORT char *KIVCopyPathByResolvingBookmarkData(plist_t bookmark);

/* ---- Keyboard and sound hooks --------------------------------------------------------- */
/* Silent defaults: the option key is never down and the beep makes no sound. A host or a
   test installs its own; NULL restores the default. */
typedef uint8_t (*KIVOptionKeyProc)(void);
typedef void (*KIVBeepProc)(void);
KIV_EXPORT void KIVSetOptionKeyProc(KIVOptionKeyProc proc);
KIV_EXPORT void KIVSetBeepProc(KIVBeepProc proc);
/* The procedures installed, NULL for the defaults: a toolkit installs its own only where the
   host has none. */
KIV_EXPORT KIVOptionKeyProc KIVGetOptionKeyProc(void);
KIV_EXPORT KIVBeepProc KIVGetBeepProc(void);
KIV_EXPORT uint8_t KIVIsOptionKeyPressed(void);
KIV_EXPORT void KIVBeep(void);

#ifdef __cplusplus
}
#endif

#endif /* KIV_PLATFORM_H */

/*
 * VAD3Codecs.h — the run-length line codecs of the raster job files.
 *
 * An encoded line is a sequence of run records followed by one all-zero terminating record.
 *   1-byte pixels:          2-byte record: value, count (1…255).
 *   4-, 8-, 12-byte pixels: 2 + pixel-size bytes: count (big-endian, 1…65535), pixel bytes.
 */
#ifndef KIV_VAD3_CODECS_H
#define KIV_VAD3_CODECS_H

#include <stddef.h>
#include <stdint.h>
#include <kiv/KIVPlatform.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Encode width (>= 1) pixels of line into out. Result: the encoded size, terminator
   included, or 0 when the line does not fit: with N = budget / record size, at most N - 2
   run records are written, so the result never exceeds budget minus one record.
   out must hold budget bytes. StuffRGB32 writes and compares the first byte of every pixel
   as 0. Stuff96 compares 12-byte pixels as a 4-byte and an 8-byte word. */
KIV_EXPORT size_t Stuff8(const void *line, size_t width, void *out, size_t budget);
KIV_EXPORT size_t Stuff32(const void *line, size_t width, void *out, size_t budget);
KIV_EXPORT size_t StuffRGB32(const void *line, size_t width, void *out, size_t budget);
KIV_EXPORT size_t Stuff64(const void *line, size_t width, void *out, size_t budget);
KIV_EXPORT size_t Stuff96(const void *line, size_t width, void *out, size_t budget);

/* A line of width equal pixels: Blank8 of 0, Blank32 of fill (big-endian), Blank64 of zero
   bytes, Blank96 of fill (big-endian) then eight zero bytes. out must hold
   (ceil(width / max count) + 1) records. Result: bytes written. */
KIV_EXPORT size_t Blank8(size_t width, void *out);
KIV_EXPORT size_t Blank32(size_t width, uint32_t fill, void *out);
KIV_EXPORT size_t Blank64(size_t width, void *out);
KIV_EXPORT size_t Blank96(size_t width, uint32_t fill, void *out);

/* Expand the records in the first inBytes bytes of in into out, which holds pixelCount
   pixels (4-byte pixels for Decompress8ToRGB: 0, 255-g, 255-g, 255-g). Result: 0 when
   the counts add up to exactly pixelCount, else 999; nothing is ever written past
   pixelCount pixels. */
KIV_EXPORT int Decompress8(const void *in, void *out, size_t inBytes, size_t pixelCount);
KIV_EXPORT int Decompress8ToRGB(const void *in, void *out, size_t inBytes, size_t pixelCount);
KIV_EXPORT int Decompress32(const void *in, void *out, size_t inBytes, size_t pixelCount);
KIV_EXPORT int Decompress64(const void *in, void *out, size_t inBytes, size_t pixelCount);
KIV_EXPORT int Decompress96(const void *in, void *out, size_t inBytes, size_t pixelCount);

/* Record size x width. */
KIV_EXPORT size_t WorstCaseBufferSize8(size_t width);
KIV_EXPORT size_t WorstCaseBufferSize32(size_t width);
KIV_EXPORT size_t WorstCaseBufferSize64(size_t width);
KIV_EXPORT size_t WorstCaseBufferSize96(size_t width);

#ifdef __cplusplus
}
#endif

#endif /* KIV_VAD3_CODECS_H */

/* Client library of the market-data vendor: conversations with the feed server and the block reader.
 *
 * A conversation is opened with VConvConnect and answered asynchronously: the server's acceptance (type 0) or
 * refusal (type 1) arrives as the first queued message. Messages are taken with VConvGetData and released with
 * VConvFreeData exactly once; a field pointer obtained from a message's data block stays valid until
 * then.
 * The machine "&QUOTES&" names the server in the environment variable VCONV_SERVER ("host:port", default
 * "127.0.0.1:7071"); any other machine text is itself "host:port". All functions are thread-safe. */
#ifndef TARNWELL_VENDOR_VCONV_H
#define TARNWELL_VENDOR_VCONV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* clang-format off */
typedef uint32_t VConvHandle;
typedef struct VConvMessage {
  int32_t Type;      /* 0 init accepted, 1 refused, 2 and 5 ignored, 4 request reply, 6 other refusal,
                        7 advise update, 8 terminated, 9 time mark (lockstep feeds only) */
  const char *Text;  /* the item for types 4 and 7, the reason for 6, the time for 9, otherwise NULL */
  /* private fields follow */
} VConvMessage;
int  VConvInitialize(void);                                                   /* 1 = ready */
void VConvShutdown(void);
int  VConvConnect(const char *machine, const char *service, const char *topic, VConvHandle *handle); /* 1 = connected */
int  VConvFree(VConvHandle handle);                                           /* 1 = freed */
int  VConvGetEventHandle(VConvHandle handle, int *fd);  /* 1 = ok; fd is readable while messages are queued */
VConvMessage *VConvGetData(VConvHandle handle);         /* next queued message, or NULL */
void VConvFreeData(VConvMessage *message);
int  VConvRequest(VConvHandle handle, const char *item, const char *format);   /* 1 = sent */
int  VConvAdvise(VConvHandle handle, const char *item, const char *format);    /* 1 = sent */
int  VConvUnadvise(VConvHandle handle, const char *item, const char *format);  /* 1 = sent */
int  VConvExecute(VConvHandle handle, const char *command);                    /* 1 = sent */
const void *VConvDataGetData(const VConvMessage *message);  /* the data block of a type 4 or 7 message */
int32_t VGetBaseCodeMultiplier(uint16_t baseCode);
int32_t VGetBaseCodeDivisor(uint16_t baseCode);
typedef struct VB4Cursor { uint8_t Opaque[24]; } VB4Cursor;
int VB4_Open(const void *block, VB4Cursor *cursor, int flags);              /* 0 = on the first record */
int VB4_FindField(VB4Cursor *cursor, uint16_t number, const void **field);  /* 0 = the record has it */
int VB4_GotoField(VB4Cursor *cursor, int index);                            /* 0 = next read starts at field index */
int VB4_GetField(VB4Cursor *cursor, const void **field);                    /* 0 = next field returned */
int VB4_NextRecord(VB4Cursor *cursor);                                      /* 0 = moved to the next record */
/* clang-format on */

/* Field value types: a field value starts with the 16-bit type, then the 16-bit field number. */
#define VCONV_TYPE_LONG 2
#define VCONV_TYPE_SHORT 3
#define VCONV_TYPE_PRICE 5
#define VCONV_TYPE_STRING 6
#define VCONV_TYPE_DATE 7
#define VCONV_TYPE_TIME 8
#define VCONV_TYPE_BLANK 99

#ifdef __cplusplus
}
#endif

#endif

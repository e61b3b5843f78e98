/*
 * halvorin: the CD/DVD recording library, its C interface.
 *
 * Every status-returning function gives a HALVORIN_STATUS. Records that cross this interface
 * have fixed-width fields and are packed to the byte layouts below; the sizes are checked at
 * compile time. Handles are opaque pointers (8 bytes), created by the library and freed with
 * Halvorin_Destroy.
 *
 * The library is started when it is loaded and shut down when it is unloaded;
 * Halvorin_UpStart and Halvorin_DownShut do the same on request.
 */
#ifndef HALVORIN_H
#define HALVORIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define HALVORIN_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define HALVORIN_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

#define HALVORIN_API __attribute__((visibility("default")))
#define HALVORIN_PACKED __attribute__((packed))

/* Statuses. 0 is success; the others name what failed. */
typedef uint32_t HALVORIN_STATUS;

#define HALVORIN_STATUS_SUCCESS 0u
#define HALVORIN_STATUS_INVALID_ARGUMENT 2u
#define HALVORIN_STATUS_INTERNAL_STATE 3u
#define HALVORIN_STATUS_OUT_OF_MEMORY 4u     /* or an object could not be created */
#define HALVORIN_STATUS_SYSTEM_CALL 5u       /* the system error is stored */
#define HALVORIN_STATUS_ASPI_INQUIRY 6u      /* host adapter or device type inquiry failed */
#define HALVORIN_STATUS_NOT_READY 7u         /* the device stayed not ready too long */
#define HALVORIN_STATUS_SCSI_COMMAND 8u      /* CDB_FAILURE_INFORMATION is filled */
#define HALVORIN_STATUS_WRONG_DEVICE_TYPE 9u /* not a CD/DVD device */
#define HALVORIN_STATUS_GENERAL_FAILURE 10u
#define HALVORIN_STATUS_NO_EXCEPTION 12u /* the failure's own record could not be allocated */
#define HALVORIN_STATUS_CANCELLED 14u
#define HALVORIN_STATUS_NAME_TOO_LONG 15u
#define HALVORIN_STATUS_RANGE_NOT_FOUND 17u
#define HALVORIN_STATUS_RANGE_BEYOND_TRACK 20u
#define HALVORIN_STATUS_FILE_TOO_LARGE 18u  /* a file too large for the UDF bridge's ISO9660 */
#define HALVORIN_STATUS_NOT_INITIALIZED 21u /* a creating function before start-up */
#define HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED 22u

#define HALVORIN_VERSION 0x20041017u

/* Reasons of HALVORIN_CALLBACK, with what param1 and param2 carry. */
#define HALVORIN_CALLBACK_REASON_ADD_NAME 0u       /* name, node count */
#define HALVORIN_CALLBACK_REASON_REMOVE_NAME 1u    /* name, node count */
#define HALVORIN_CALLBACK_REASON_IGNORE_NAME 2u    /* name, node count */
#define HALVORIN_CALLBACK_REASON_NAME_COLLISION 3u /* collision record */
#define TARGET_FILE_ANALYZE_BEGIN 4u
#define TARGET_FILE_ANALYZE_END 5u /* int64_t* size in bytes, size in blocks */
#define WAIT_CACHE_FULL_BEGIN 6u   /* longest wait in ms */
#define WAIT_CACHE_FULL_END 7u
#define SYNCHRONIZE_CACHE_BEGIN 8u
#define SYNCHRONIZE_CACHE_END 9u
#define HALVORIN_CALLBACK_REASON_DEVICE_FOUND 10u /* HALVORIN_DEVICE_ADDRESS*, NULL */
#define HALVORIN_CALLBACK_REASON_GRAB_PROGRESS 11u
#define HALVORIN_CALLBACK_REASON_WRITE_PROGRESS 12u
#define HALVORIN_CALLBACK_REASON_DRIVE_BUFFER_STATUS 13u
#define HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN 14u
#define HALVORIN_CALLBACK_REASON_GRAB_TRACK_END 15u
#define HALVORIN_CALLBACK_REASON_SPLIT_SECTION_BEGIN 16u
#define HALVORIN_CALLBACK_REASON_SPLIT_SECTION_END 17u
#define HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN 18u  /* unreadable: a pattern written */
#define HALVORIN_CALLBACK_REASON_GRAB_SECTOR_BAD_KEPT 19u /* failed its check: kept as read */
#define HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY 20u    /* a failed transfer read again */
#define DVDPLUSRW_FORMAT_BEGIN 21u
#define DVDPLUSRW_FORMAT_END 22u
#define HALVORIN_CALLBACK_REASON_DVDRAM_FORMAT_BEGIN 23u
#define HALVORIN_CALLBACK_REASON_DVDRAM_FORMAT_END 24u
#define HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN 25u
#define DVD_MEDIA_PADDING_SIZE 26u /* source size in blocks, padding size in blocks */
#define DVD_MEDIA_PADDING_BEGIN 27u
#define DVD_MEDIA_PADDING_END 28u

/* Called on the thread that called the library; context is passed through unchanged. */
typedef void (*HALVORIN_CALLBACK)(uint32_t p__ULONG__Reason, void* p__PVOID__Context,
                                  void* p__PVOID__Param1, void* p__PVOID__Param2);

/* A recorder's address as the device search reports it: 5 bytes. */
typedef struct HALVORIN_PACKED HALVORIN_DEVICE_ADDRESS {
  uint8_t m__UCHAR__IsValid; /* 1 */
  uint8_t m__UCHAR__HostAdapter;
  uint8_t m__UCHAR__Bus; /* 0 */
  uint8_t m__UCHAR__TargetID;
  uint8_t m__UCHAR__LUN; /* 0 */
} HALVORIN_DEVICE_ADDRESS;

HALVORIN_STATIC_ASSERT(sizeof(HALVORIN_DEVICE_ADDRESS) == 5, "HALVORIN_DEVICE_ADDRESS is 5 bytes");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_DEVICE_ADDRESS, m__UCHAR__TargetID) == 3,
                       "target ID at byte 3");

/* A failed SCSI command, filled with status 8: 54 bytes. */
typedef struct HALVORIN_PACKED CDB_FAILURE_INFORMATION {
  uint8_t m__UCHAR__IsValid; /* 1 when filled */
  uint8_t m__UCHAR__CDBLength;
  uint8_t m__UCHAR__CDB[16]; /* as many as the length, the rest 0 */
  uint8_t m__UCHAR__SenseLength;
  uint8_t m__UCHAR__Sense[32]; /* as many as the sense length, the rest 0 */
  uint8_t m__UCHAR__SRBStatus;
  uint8_t m__UCHAR__TargetStatus;
  uint8_t m__UCHAR__HostAdapterStatus;
} CDB_FAILURE_INFORMATION;

HALVORIN_STATIC_ASSERT(sizeof(CDB_FAILURE_INFORMATION) == 54,
                       "CDB_FAILURE_INFORMATION is 54 bytes");
HALVORIN_STATIC_ASSERT(offsetof(CDB_FAILURE_INFORMATION, m__UCHAR__CDB) == 2, "CDB at byte 2");
HALVORIN_STATIC_ASSERT(offsetof(CDB_FAILURE_INFORMATION, m__UCHAR__SenseLength) == 18,
                       "sense length at byte 18");
HALVORIN_STATIC_ASSERT(offsetof(CDB_FAILURE_INFORMATION, m__UCHAR__Sense) == 19,
                       "sense at byte 19");
HALVORIN_STATIC_ASSERT(offsetof(CDB_FAILURE_INFORMATION, m__UCHAR__SRBStatus) == 51,
                       "SRB status at byte 51");
HALVORIN_STATIC_ASSERT(offsetof(CDB_FAILURE_INFORMATION, m__UCHAR__HostAdapterStatus) == 53,
                       "host adapter status at byte 53");

/* The inserted disc, from the drive's current profile. */
typedef uint32_t DISC_TYPE;

#define DISC_TYPE_UNKNOWN 0u
#define DISC_TYPE_CDROM 1u
#define DISC_TYPE_CDR 2u
#define DISC_TYPE_CDRW 3u
#define DISC_TYPE_DVDROM 4u
#define DISC_TYPE_DVDR 5u
#define DISC_TYPE_DVDRAM 6u
#define DISC_TYPE_DVDRW_RESTRICTED_OVERWRITE 7u
#define DISC_TYPE_DVDRW_SEQUENTIAL 8u
#define DISC_TYPE_DVDPLUSRW 9u
#define DISC_TYPE_DDCDROM 10u
#define DISC_TYPE_DDCDR 11u
#define DISC_TYPE_DDCDRW 12u
#define DISC_TYPE_DVDPLUSR 13u

/* READ TRACK INFORMATION, decoded: 28 bytes; addresses and counts in native byte order. */
typedef struct HALVORIN_PACKED TRACK_INFORMATION {
  uint8_t m__UCHAR__IsValid;
  uint8_t m__UCHAR__TrackNumber;
  uint8_t m__UCHAR__SessionNumber;
  uint8_t m__UCHAR__TrackMode;
  uint8_t m__BOOLEAN__IsCopy;
  uint8_t m__BOOLEAN__IsDamage;
  uint8_t m__UCHAR__DataMode;
  uint8_t m__BOOLEAN__IsFixedPacket;
  uint8_t m__BOOLEAN__IsPacket;
  uint8_t m__BOOLEAN__IsBlank;
  uint8_t m__BOOLEAN__IsReservedTrack;
  uint8_t m__BOOLEAN__IsNextWritableAddressValid;
  int32_t m__LONG__TrackStartAddress;
  int32_t m__LONG__NextWritableAddress;
  uint32_t m__ULONG__FreeBlocks;
  uint32_t m__ULONG__FixedPacketSize;
} TRACK_INFORMATION;

HALVORIN_STATIC_ASSERT(sizeof(TRACK_INFORMATION) == 28, "TRACK_INFORMATION is 28 bytes");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_INFORMATION, m__LONG__TrackStartAddress) == 12,
                       "track start at byte 12");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_INFORMATION, m__ULONG__FreeBlocks) == 20,
                       "free blocks at byte 20");

/* READ DISC INFORMATION, decoded: 33 bytes; the 4-byte fields as on the wire. */
typedef struct HALVORIN_PACKED DISC_INFORMATION {
  uint8_t m__UCHAR__IsValid;
  uint8_t m__UCHAR__DiscStatus;
  uint8_t m__UCHAR__StateOfLastSession;
  uint8_t m__BOOLEAN__IsErasable;
  uint8_t m__UCHAR__FirstTrackOnDisc;
  uint8_t m__UCHAR__NumberOfSessions;
  uint8_t m__UCHAR__FirstTrackInLastSession;
  uint8_t m__UCHAR__LastTrackInLastSession;
  uint8_t m__BOOLEAN__IsURU;
  uint8_t m__BOOLEAN__IsDBC_V;
  uint8_t m__BOOLEAN__IsDID_V;
  uint8_t m__UCHAR__DiscType;
  uint8_t m__UCHAR__DiscIdentification[4];
  uint8_t m__UCHAR__LastSessionLeadInStart[4];
  uint8_t m__UCHAR__LastPossibleLeadOutStart[4];
  uint8_t m__UCHAR__DiscBarCode[8];
  uint8_t m__UCHAR__NumberOfOPCTables;
} DISC_INFORMATION;

HALVORIN_STATIC_ASSERT(sizeof(DISC_INFORMATION) == 33, "DISC_INFORMATION is 33 bytes");
HALVORIN_STATIC_ASSERT(offsetof(DISC_INFORMATION, m__UCHAR__DiscIdentification) == 12,
                       "disc identification at byte 12");
HALVORIN_STATIC_ASSERT(offsetof(DISC_INFORMATION, m__UCHAR__NumberOfOPCTables) == 32,
                       "OPC tables at byte 32");

/* One descriptor of READ TOC format 2 as the drive returns it: 11 bytes. */
typedef struct HALVORIN_PACKED TOC_RAW_DESCRIPTOR {
  uint8_t m__UCHAR__SessionNumber;
  uint8_t m__UCHAR__ADR_CONTROL;
  uint8_t m__UCHAR__TNO;
  uint8_t m__UCHAR__POINT;
  uint8_t m__UCHAR__Min;
  uint8_t m__UCHAR__Sec;
  uint8_t m__UCHAR__Frame;
  uint8_t m__UCHAR__Zero;
  uint8_t m__UCHAR__PMIN;
  uint8_t m__UCHAR__PSEC;
  uint8_t m__UCHAR__PFRAME;
} TOC_RAW_DESCRIPTOR;

HALVORIN_STATIC_ASSERT(sizeof(TOC_RAW_DESCRIPTOR) == 11, "TOC_RAW_DESCRIPTOR is 11 bytes");

/* One track of the TOC record: 30 bytes; LBAs and the sector size in native byte order. */
typedef struct HALVORIN_PACKED TOC_TRACK_ENTRY {
  uint8_t m__UCHAR__IsValid;
  uint8_t m__UCHAR__TrackNumber;
  uint8_t m__UCHAR__SessionNumber;
  int32_t m__LONG__StartLBA;
  uint8_t m__UCHAR__StartMSF[3]; /* binary */
  int32_t m__LONG__EndLBA;       /* inclusive */
  uint8_t m__UCHAR__EndMSF[3];   /* binary */
  uint8_t m__BOOLEAN__IsADR2;
  uint8_t m__BOOLEAN__IsADR3;
  uint8_t m__BOOLEAN__IsFourChannelAudio;
  uint8_t m__BOOLEAN__IsPreEmphasis;
  uint8_t m__BOOLEAN__IsDataTrack;
  uint8_t m__BOOLEAN__IsAudioTrack;
  uint8_t m__BOOLEAN__IsDigitalCopyPermitted;
  uint8_t m__UCHAR__DataMode; /* 0 audio, 1 or 2 */
  uint8_t m__UCHAR__Form;     /* 1 or 2 for mode 2, else 0 */
  uint32_t m__ULONG__UserBytesPerSector;
} TOC_TRACK_ENTRY;

HALVORIN_STATIC_ASSERT(sizeof(TOC_TRACK_ENTRY) == 30, "TOC_TRACK_ENTRY is 30 bytes");
HALVORIN_STATIC_ASSERT(offsetof(TOC_TRACK_ENTRY, m__LONG__StartLBA) == 3, "start LBA at byte 3");
HALVORIN_STATIC_ASSERT(offsetof(TOC_TRACK_ENTRY, m__LONG__EndLBA) == 10, "end LBA at byte 10");
HALVORIN_STATIC_ASSERT(offsetof(TOC_TRACK_ENTRY, m__BOOLEAN__IsADR2) == 17, "ADR 2 at byte 17");
HALVORIN_STATIC_ASSERT(offsetof(TOC_TRACK_ENTRY, m__ULONG__UserBytesPerSector) == 26,
                       "user bytes at byte 26");

/* The disc's table of contents: 5212 bytes. */
typedef struct HALVORIN_PACKED TOC_INFORMATION {
  uint8_t m__UCHAR__IsValid;
  uint8_t m__BOOLEAN__IsDVD;
  uint8_t m__UCHAR__Reserved[7];
  uint8_t m__UCHAR__HighestSessionNumber;
  uint8_t m__UCHAR__NumberOfTracks;
  uint8_t m__UCHAR__NumberOfRawDescriptors;
  TOC_TRACK_ENTRY m__TOC_TRACK_ENTRY__Tracks[100];
  TOC_RAW_DESCRIPTOR m__TOC_RAW_DESCRIPTOR__TrackDescriptors[100]; /* one per track entry */
  TOC_RAW_DESCRIPTOR m__TOC_RAW_DESCRIPTOR__AllDescriptors[100];   /* in the drive's order */
} TOC_INFORMATION;

HALVORIN_STATIC_ASSERT(sizeof(TOC_INFORMATION) == 5212, "TOC_INFORMATION is 5212 bytes");
HALVORIN_STATIC_ASSERT(offsetof(TOC_INFORMATION, m__TOC_TRACK_ENTRY__Tracks) == 12,
                       "tracks at byte 12");
HALVORIN_STATIC_ASSERT(offsetof(TOC_INFORMATION, m__TOC_RAW_DESCRIPTOR__TrackDescriptors) == 3012,
                       "track descriptors at byte 3012");
HALVORIN_STATIC_ASSERT(offsetof(TOC_INFORMATION, m__TOC_RAW_DESCRIPTOR__AllDescriptors) == 4112,
                       "all descriptors at byte 4112");

HALVORIN_STATIC_ASSERT(sizeof(void*) == 8, "handles and callback parameters are 8-byte pointers");

/* One track of a disc-at-once list: 278 bytes (the file pointer is 8 bytes). */
typedef struct HALVORIN_PACKED TRACK_ENTRY {
  int32_t m__LONG__TrackSizeInLBs;  /* in sectors of the track's own kind */
  int32_t m__LONG__TrackStartInLBs; /* sum of the sizes of the tracks before it */
  char m__CHAR__FileName[260];      /* zero-terminated */
  void* m__PVOID__File;             /* the track's file object, made by the library */
  uint8_t m__BOOLEAN__IsData;       /* 1 data track, 0 audio track */
  uint8_t m__BOOLEAN__IsRaw;        /* 1: a data track's file holds raw 2448-byte sectors */
} TRACK_ENTRY;

/* The caller's disc-at-once track list: 27804 bytes. */
typedef struct HALVORIN_PACKED TRACK_ARRAY {
  int32_t m__LONG__NumberOfTracks; /* 1..99, the track numbers of a CD */
  TRACK_ENTRY m__TRACK_ENTRY__Tracks[100];
} TRACK_ARRAY;

HALVORIN_STATIC_ASSERT(sizeof(TRACK_ENTRY) == 278, "TRACK_ENTRY is 278 bytes");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_ENTRY, m__CHAR__FileName) == 8, "file name at byte 8");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_ENTRY, m__PVOID__File) == 268, "file at byte 268");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_ENTRY, m__BOOLEAN__IsData) == 276, "data flag at byte 276");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_ENTRY, m__BOOLEAN__IsRaw) == 277, "raw flag at byte 277");
HALVORIN_STATIC_ASSERT(sizeof(TRACK_ARRAY) == 27804, "TRACK_ARRAY is 27804 bytes");
HALVORIN_STATIC_ASSERT(offsetof(TRACK_ARRAY, m__TRACK_ENTRY__Tracks) == 4, "tracks at byte 4");

/* One track of a session-at-once list: 299 bytes (the three pointers are 8 bytes). */
typedef struct HALVORIN_PACKED SAO_TRACK_ENTRY {
  uint8_t m__BOOLEAN__IsAudio;   /* 2352-byte audio sectors */
  uint8_t m__BOOLEAN__IsXA;      /* 2336-byte Mode 2 units */
  uint8_t m__BOOLEAN__IsRawPW;   /* 2448-byte raw sectors with raw P-W subchannel */
  int32_t m__LONG__SizeInLBs;    /* filled in by the writer from the source size */
  int32_t m__LONG__PreGapInLBs;  /* beyond the 150 every track has */
  int32_t m__LONG__PostGapInLBs; /* after the track's data */
  char m__CHAR__FileName[260];   /* zero-terminated */
  void* m__PVOID__File;          /* the track's file object */
  void* m__PVOID__Tree;          /* the readable source (a file chain) the writer reads */
  void* m__PVOID__BackSideTree;  /* a Mode 2 view made over the tree */
} SAO_TRACK_ENTRY;

/* The caller's session-at-once track list: 30308 bytes. */
typedef struct HALVORIN_PACKED SAO_TRACK_ARRAY {
  int32_t m__LONG__NumberOfTracks; /* 1..99, the track numbers of a CD */
  SAO_TRACK_ENTRY m__SAO_TRACK_ENTRY__Tracks[100];
  int32_t m__LONG__NumberOfRawTracks;      /* raw P-W image: the tracks inside it */
  int32_t m__LONG__RawTrackSizeInLBs[100]; /* raw P-W image: each of those tracks' size */
} SAO_TRACK_ARRAY;

HALVORIN_STATIC_ASSERT(sizeof(SAO_TRACK_ENTRY) == 299, "SAO_TRACK_ENTRY is 299 bytes");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__LONG__SizeInLBs) == 3, "size at byte 3");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__LONG__PreGapInLBs) == 7, "pre-gap at byte 7");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__LONG__PostGapInLBs) == 11,
                       "post-gap at byte 11");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__CHAR__FileName) == 15, "file name at byte 15");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__PVOID__File) == 275, "file at byte 275");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__PVOID__Tree) == 283, "tree at byte 283");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ENTRY, m__PVOID__BackSideTree) == 291,
                       "back-side tree at byte 291");
HALVORIN_STATIC_ASSERT(sizeof(SAO_TRACK_ARRAY) == 30308, "SAO_TRACK_ARRAY is 30308 bytes");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ARRAY, m__SAO_TRACK_ENTRY__Tracks) == 4,
                       "tracks at byte 4");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ARRAY, m__LONG__NumberOfRawTracks) == 29904,
                       "raw track count at byte 29904");
HALVORIN_STATIC_ASSERT(offsetof(SAO_TRACK_ARRAY, m__LONG__RawTrackSizeInLBs) == 29908,
                       "raw track sizes at byte 29908");

/* Library-wide functions. */

/* Starts the library (also done when it is loaded); always 0. */
HALVORIN_API HALVORIN_STATUS Halvorin_UpStart(void);
/* Shuts the library down (also done when it is unloaded); always 0. Objects already created
   keep working; the creating functions return 21 until the next start-up. */
HALVORIN_API HALVORIN_STATUS Halvorin_DownShut(void);

/* HALVORIN_VERSION. */
HALVORIN_API uint32_t Halvorin_GetVersion(void);

/* The process-wide switch read by track-at-once writing on DVD media. Set returns the value
   given. */
HALVORIN_API uint8_t Halvorin_GetDVDPadding(void);
HALVORIN_API uint8_t Halvorin_SetDVDPadding(uint8_t p__BOOLEAN__IsDVDPadding);

/* Probes every target of every host adapter (LUN 0) and calls the callback with reason
   HALVORIN_CALLBACK_REASON_DEVICE_FOUND for each device whose peripheral device type equals
   the filter (5: CD/DVD devices), or for every device when the filter is -1. With
   stop-at-first set it returns 1 after the first callback. Returns the number reported. */
HALVORIN_API uint32_t Halvorin_FindDevice(int32_t p__LONG__DeviceTypeFilter,
                                          uint8_t p__BOOLEAN__IsStopAtFirst,
                                          HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
                                          void* p__PVOID__Context);

/* Deletes the object of *handle (burner/grabber, file tree or any other library object) when
   it is not NULL, then sets *handle to NULL. */
HALVORIN_API void Halvorin_Destroy(void** p__PPVOID__Handle);
/* 0 when the audio reader takes the file (uncompressed, else compressed), otherwise 22. */
HALVORIN_API HALVORIN_STATUS Halvorin_IsAudioFileSupported(const char* p__PCHAR__FileName);

/* The system name of the device at the address (bus and LUN are ignored) into name, which
   holds p__ULONG__NameLength characters: the name is cut to fit and always terminated. Gives
   0, or 17 when the device is not there.
   The buffer length is an argument of this function so that no name can overrun the buffer. */
HALVORIN_API HALVORIN_STATUS Halvorin_GetDeviceNameByDeviceAddress(
    uint8_t p__UCHAR__HostAdapter, uint8_t p__UCHAR__Bus, uint8_t p__UCHAR__TargetID,
    uint8_t p__UCHAR__LUN, char* p__PCHAR__Name, uint32_t p__ULONG__NameLength);

/*
 * Functions with an exception prefix take, after the object handle: a text buffer for the
 * failure's text and its length in characters (the text is cut to fit and always
 * terminated), a pointer that receives the system error with status 5, and, for burner/grabber
 * functions, a CDB_FAILURE_INFORMATION that is zeroed on entry and filled with status 8.
 */

/*
 * File trees: an ISO9660 (optionally Joliet) image built from disk paths and memory blocks,
 * read as one stream. Trees are created by Halvorin_ISO9660JolietFileTree_Create and freed with
 * Halvorin_Destroy; node handles belong to their tree. Functions with a prefix take the tree
 * handle, then the exception text, its length and the system error pointer.
 */

/* A local date and time: 16 bytes. */
typedef struct HALVORIN_PACKED SYSTEMTIME {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
} SYSTEMTIME;

HALVORIN_STATIC_ASSERT(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");

/* Answers to a name collision. Any other value keeps both nodes. */
#define HALVORIN_COLLISION_DROP_NEW 0u
#define HALVORIN_COLLISION_DELETE_OLD 1u
#define HALVORIN_COLLISION_RENAME 2u /* the record's identifier holds the new name */

#define HALVORIN_COLLISION_KIND_ISO9660 0u /* identifier in 8-bit characters */
#define HALVORIN_COLLISION_KIND_JOLIET 1u  /* identifier in UTF-16 little-endian */

/* The record passed with HALVORIN_CALLBACK_REASON_NAME_COLLISION as param1: 549 bytes (the two
   path pointers are 8 bytes each). The answer is preset to HALVORIN_COLLISION_DROP_NEW. */
typedef struct HALVORIN_PACKED HALVORIN_NAME_COLLISION_RECORD {
  uint8_t m__UCHAR__NameKind;
  uint8_t m__UCHAR__Identifier[520]; /* zero-terminated; may be overwritten with a new name */
  const char* m__PCHAR__OldAbsolutePath;
  uint32_t m__ULONG__OldAttributes;
  const char* m__PCHAR__NewAbsolutePath;
  uint32_t m__ULONG__NewAttributes;
  uint32_t m__ULONG__Answer;
} HALVORIN_NAME_COLLISION_RECORD;

HALVORIN_STATIC_ASSERT(sizeof(HALVORIN_NAME_COLLISION_RECORD) == 549,
                       "HALVORIN_NAME_COLLISION_RECORD is 549 bytes");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_NAME_COLLISION_RECORD, m__PCHAR__OldAbsolutePath) == 521,
                       "old path at byte 521");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_NAME_COLLISION_RECORD, m__PCHAR__NewAbsolutePath) == 533,
                       "new path at byte 533");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_NAME_COLLISION_RECORD, m__ULONG__Answer) == 545,
                       "answer at byte 545");

/* Node types of Halvorin_ISO9660JolietFileTree_GetFullPath. */
#define HALVORIN_NODE_TYPE_IMPORTED 1u
#define HALVORIN_NODE_TYPE_DISK 2u
#define HALVORIN_NODE_TYPE_NO_DISK_PATH 3u

/* Creates a tree: Joliet set gives an ISO9660 tree with a Joliet hierarchy. With ignore set a
   failing entry below a top-level addition is dropped (reason 2) instead of failing the whole
   addition. Hold-files-open keeps every file open from creation; long identifiers use the
   first 31 characters of the long name as ISO9660 identifier. 21 before start-up. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_Create(
    void** p__PPVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
    void* p__PVOID__Context, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsHoldFilesOpen,
    uint8_t p__BOOLEAN__IsLongIdentifiers, uint8_t p__BOOLEAN__IsJoliet);
/* The deepest node level (the root is 1); 0 for a bad handle. */
HALVORIN_API uint32_t Halvorin_ISO9660JolietFileTree_GetLevel(void* p__PVOID__Tree);
/* Lays the image out from sector p__LONG__StartAddress and rewinds its stream; 3 when built
   before, after which the tree refuses changes. Strings may be NULL (empty). */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_BuildImage(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, int32_t p__LONG__StartAddress, uint32_t p__ULONG__Unused,
    uint8_t p__BOOLEAN__IsXA, const char* p__PCHAR__VolumeLabel, const char* p__PCHAR__Publisher,
    const char* p__PCHAR__Application);
/* Dates are 16 digits "YYYYMMDDhhmmsscc" or empty. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_BuildImageEx(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, int32_t p__LONG__StartAddress, uint32_t p__ULONG__Unused,
    uint8_t p__BOOLEAN__IsXA, const char* p__PCHAR__VolumeLabel, const char* p__PCHAR__Publisher,
    const char* p__PCHAR__Application, const char* p__PCHAR__SystemIdentifier,
    const char* p__PCHAR__CopyrightFile, const char* p__PCHAR__BibliographicFile,
    const char* p__PCHAR__CreationDate, const char* p__PCHAR__ModificationDate,
    const char* p__PCHAR__ExpirationDate, const char* p__PCHAR__EffectiveDate);
/* The image stream's size in bytes: the low half, the high half through the pointer. */
HALVORIN_API uint32_t Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(void* p__PVOID__Tree,
                                                                     uint32_t* p__PULONG__High);
/* The next p__LONG__Count bytes of the image; 2 for a negative count or NULL buffer. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_Read(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, int32_t p__LONG__Count, void* p__PVOID__Buffer);
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_SeekToBegin(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError);
/* Adds a disk path (a file, a folder with everything under it, or a drive "Z:" with the
   entries of its root), or with a NULL path an empty folder named p__PCHAR__Name; the parent
   handle pointing at NULL means the root. Paths of 260 characters or more give 2.
   p__LONG__TimeKind picks the time recorded for disk entries: 0 the creation time, which is
   the birth time where the file system reports one (statx) and otherwise the time of the last
   change of the entry (its inode); 1 the last access time; any other value the last write
   time. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_Add(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, const char* p__PCHAR__AbsolutePath,
    const char* p__PCHAR__Name, int32_t p__LONG__TimeKind, void** p__PPVOID__Parent);
/* Removes the node with everything under it and sets the handle to NULL; 1 when it was found. */
HALVORIN_API uint8_t Halvorin_ISO9660JolietFileTree_Remove(void* p__PVOID__Tree,
                                                           void** p__PPVOID__Node);
/* Stops a running addition (status 14). */
HALVORIN_API void Halvorin_ISO9660JolietFileTree_Cancel(void* p__PVOID__Tree);
HALVORIN_API void* Halvorin_ISO9660JolietFileTree_GetRoot(void* p__PVOID__Tree);
HALVORIN_API void* Halvorin_ISO9660JolietFileTree_GetFirstKid(void* p__PVOID__Tree,
                                                              void* p__PVOID__Node);
HALVORIN_API void* Halvorin_ISO9660JolietFileTree_GetNextKid(void* p__PVOID__Tree,
                                                             void* p__PVOID__Node,
                                                             void* p__PVOID__Kid);
HALVORIN_API void* Halvorin_ISO9660JolietFileTree_GetParent(void* p__PVOID__Tree,
                                                            void* p__PVOID__Node);
/* Three buffers of 260 bytes, each zeroed first; a virtual folder's path is empty. */
HALVORIN_API void Halvorin_ISO9660JolietFileTree_GetNames(void* p__PVOID__Tree,
                                                          void* p__PVOID__Node,
                                                          char* p__PCHAR__AbsolutePath,
                                                          char* p__PCHAR__LongFileName,
                                                          char* p__PCHAR__ShortFileName);
HALVORIN_API uint8_t Halvorin_ISO9660JolietFileTree_SetNames(void* p__PVOID__Tree,
                                                             void* p__PVOID__Node,
                                                             const char* p__PCHAR__AbsolutePath,
                                                             const char* p__PCHAR__LongFileName,
                                                             const char* p__PCHAR__ShortFileName);
HALVORIN_API uint32_t Halvorin_ISO9660JolietFileTree_GetAttributes(void* p__PVOID__Tree,
                                                                   void* p__PVOID__Node);
/* A file's size, a folder's sum of everything under it, in bytes (low half returned). */
HALVORIN_API uint32_t Halvorin_ISO9660JolietFileTree_GetNodePowerInUCHARs(
    void* p__PVOID__Tree, void* p__PVOID__Node, uint32_t* p__PULONG__High);
/* Adds the caller's block (kept by the caller until the tree is destroyed) as a file. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_AddMemory(
    void* p__PVOID__Tree, char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
    uint32_t* p__PULONG__SystemError, const void* p__PVOID__Block, uint32_t p__ULONG__SizeLow,
    uint32_t p__ULONG__SizeHigh, const char* p__PCHAR__Name, int32_t p__LONG__TimeKind,
    void** p__PPVOID__Parent);
/* The El Torito boot image (a root file BOOT.IMG;1). Media type 0 no emulation, 1-3 floppies,
   4 hard disk; a second call replaces the first image. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_SetBootImage(
    void* p__PVOID__Tree, const char* p__PCHAR__BootImagePath, uint8_t p__UCHAR__SystemType,
    uint8_t p__UCHAR__BootMediaType, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError);
/* 2 for a NULL pointer or bad handle, 3 for a folder, else 0 and the size. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(
    void* p__PVOID__Tree, void* p__PVOID__Node, uint64_t* p__PULONGLONG__Size);
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(
    void* p__PVOID__Tree, void* p__PVOID__Node, SYSTEMTIME* p__PSYSTEMTIME__Time);
/* The 7-byte date of the node's directory record. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_GetNodeISO9660DateTime(
    void* p__PVOID__Tree, void* p__PVOID__Node, uint8_t* p__PUCHAR__DateTime);
/* The node's path in the image into a 260-byte buffer (may be NULL); returns the node type, 0
   for a bad handle. */
HALVORIN_API uint32_t Halvorin_ISO9660JolietFileTree_GetFullPath(void* p__PVOID__Tree,
                                                                 void* p__PVOID__Node,
                                                                 char* p__PCHAR__FullPath);
/* Adds every file and folder of the data track (ISO9660 names, or the Joliet ones with the
   Joliet flag) of the disc in the burner/grabber to the tree, under its root. The files keep
   their data where it is on the disc: a tree built at the next writable address and written
   there shows both sessions. Imported names take the tree's rules: '\' and ':' become '_',
   and Joliet names are cut as added ones are. 2 for a track that is not a data track of the
   disc, a missing descriptor, a damaged directory, directories that share sectors or a record
   named '.' or '..'; 8 when the table of contents cannot be read, as on a disc without a closed
   session; 4 when memory runs out. A failed import leaves nothing of itself in the tree, whose
   level is the one before. */
HALVORIN_API HALVORIN_STATUS Halvorin_ISO9660JolietFileTree_ImportTrack(
    void* p__PVOID__BurnerGrabber, void* p__PVOID__Tree, uint8_t p__UCHAR__TrackNumber,
    uint8_t p__BOOLEAN__IsJoliet, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError);

/*
 * UDF: a UDF 1.02 image, pure, or the DVD-Video bridge whose ISO9660 part shows VIDEO_TS and
 * AUDIO_TS. The caller describes the file system as tree items formatted by the two format
 * functions (the root first, then folders and files under their parents), gives the memory of
 * the image's head and tail, and gets a UDF object whose tree handle is read with
 * Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs, _Read and _SeekToBegin, or written by
 * Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree. The items, the head and the tail are kept by
 * the caller, unchanged but for the IFO patches, until Halvorin_UDF_Destroy (the image reads its
 * descriptors from the items); then Halvorin_UDF_CleanUp frees what the format functions
 * allocated.
 */

/* One file or folder of a UDF image: 8806 bytes (the pointers are 8 bytes each), zeroed and
   filled by the format functions; Halvorin_UDF_CleanUp steps through an array of them by this
   size. Locations are partition block numbers (the image sector is 262 more). The four
   descriptor blocks keep the item's size and layout but are neither written nor read: the image
   formats each file entry and identifier from the item when that block is read, so an array of
   items from calloc or mmap never has their pages mapped. */
typedef struct HALVORIN_PACKED HALVORIN_UDF_TREE_ITEM {
  uint32_t m__ULONG__FileEntryLocation;
  uint32_t m__ULONG__IdentifierLocation;
  uint32_t m__ULONG__ContentLocation;
  uint32_t m__ULONG__LastBlockUsed; /* the last block the item's content takes */
  uint32_t m__ULONG__Identifier;    /* the caller's; an item of 0 is left alone by CleanUp */
  uint8_t m__BOOLEAN__IsDirectory;
  uint8_t m__BOOLEAN__IsInMemory; /* an IFO or BUP file read whole into m__PUCHAR__Content */
  uint16_t m__USHORT__Subdirectories;
  char m__CHAR__Name[255];     /* the given UTF-8 name, upper-cased */
  char m__CHAR__Path[260];     /* the file, opened again each time the image is read */
  uint8_t* m__PUCHAR__Content; /* size in blocks x 2048 bytes, zero past the file's end */
  uint64_t m__ULONGLONG__Size; /* bytes (a folder's once the image is laid out) */
  uint32_t m__ULONG__SizeInBlocks;
  struct HALVORIN_UDF_TREE_ITEM* m__PNext;
  struct HALVORIN_UDF_TREE_ITEM* m__PPrevious;
  struct HALVORIN_UDF_TREE_ITEM* m__PFirstKid;
  struct HALVORIN_UDF_TREE_ITEM* m__PParent;
  struct HALVORIN_UDF_TREE_ITEM* m__PLastKid;
  uint8_t m__UCHAR__FileEntry[2048];            /* not used (see above) */
  uint8_t m__UCHAR__FileIdentifier[2048];       /* not used: the item's entry in its folder */
  uint8_t m__UCHAR__ParentFileIdentifier[2048]; /* not used: a folder's entry for its parent */
  uint8_t m__UCHAR__Reserved[2046];
  void* m__PVOID__File;      /* the image's reader of the content (none for an empty file), owned
                                by the UDF object */
  uint8_t m__UCHAR__Date[7]; /* ISO 9660 form: local time and its offset from GMT */
  uint16_t m__USHORT__Zero;
} HALVORIN_UDF_TREE_ITEM;

#define HALVORIN_UDF_TREE_ITEM_SIZE 8806u
HALVORIN_STATIC_ASSERT(sizeof(HALVORIN_UDF_TREE_ITEM) == HALVORIN_UDF_TREE_ITEM_SIZE,
                       "HALVORIN_UDF_TREE_ITEM is 8806 bytes");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_UDF_TREE_ITEM, m__CHAR__Name) == 24, "name at byte 24");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_UDF_TREE_ITEM, m__PUCHAR__Content) == 539,
                       "content at byte 539");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_UDF_TREE_ITEM, m__UCHAR__FileEntry) == 599,
                       "file entry at byte 599");
HALVORIN_STATIC_ASSERT(offsetof(HALVORIN_UDF_TREE_ITEM, m__PVOID__File) == 8789,
                       "file object at byte 8789");

/* What Halvorin_UDF_Create makes: 32 bytes. The tree handle reads the image; the others are
   its parts. All are freed by Halvorin_UDF_Destroy (never by Halvorin_Destroy). */
typedef struct HALVORIN_PACKED HALVORIN_UDF_OBJECT {
  void* m__PVOID__HeadFile;
  void* m__PVOID__SystemStructuresFile;
  void* m__PVOID__TailFile;
  void* m__PVOID__Tree;
} HALVORIN_UDF_OBJECT;

HALVORIN_STATIC_ASSERT(sizeof(HALVORIN_UDF_OBJECT) == 32, "HALVORIN_UDF_OBJECT is 32 bytes");

/* The head holds the sectors before the root's file entry: 263 in a pure image, 264 in a
   bridge; the tail the 256 anchors after the files. */
#define HALVORIN_UDF_HEAD_SIZE (263u * 2048u)
#define HALVORIN_UDF_BRIDGE_HEAD_SIZE (264u * 2048u)
#define HALVORIN_UDF_TAIL_SIZE (256u * 2048u)

/* A file: the item is zeroed, takes the name with every letter upper-cased (cut to 254 bytes)
   and is linked as the parent's last kid. The file is opened to check it can be read, then
   closed; its size comes from the file system, its date from its creation (birth) time where
   the file system keeps one, else from its last write. A name holding ".IFO" or ".BUP" has the
   whole file read into memory, where the patch functions change it. Returns 0, the system
   error (errno) of a failed open or read, 22 for a NULL argument or a path that is not a
   readable file, or 0xFFFFFFFF when the memory cannot be allocated. */
HALVORIN_API uint32_t Halvorin_UDF_FormatTreeItemAsFile(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                                        uint32_t p__ULONG__Identifier,
                                                        const char* p__PCHAR__Name,
                                                        const char* p__PCHAR__Path,
                                                        HALVORIN_UDF_TREE_ITEM* p__PParent);
/* A folder: linked as the parent's first kid (NULL parent: the root). 0, or 22 for a NULL
   item or name. */
HALVORIN_API uint32_t Halvorin_UDF_FormatTreeItemAsDirectory(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                                             uint32_t p__ULONG__Identifier,
                                                             const char* p__PCHAR__Name,
                                                             HALVORIN_UDF_TREE_ITEM* p__PParent);
/* Lays the image out and makes its object. A bridge when both the VIDEO_TS and the AUDIO_TS
   folders are given, both folders under the root (2 otherwise; their files must stay below
   2 GB: 18 otherwise). Two items of one folder whose names are written alike (after the
   upper-casing and the cut of the identifier to 255 bytes), items named "", "." or "..", or
   with a '/' in their name, and in a bridge two VIDEO_TS files that ISO9660 readers show under
   one name ("A" and "A."), give 2 naming them. The head holds exactly
   HALVORIN_UDF_HEAD_SIZE bytes (HALVORIN_UDF_BRIDGE_HEAD_SIZE for a bridge), the tail
   HALVORIN_UDF_TAIL_SIZE, or the result is 2. The system structures are formatted by the
   object as the image is read: p__PUCHAR__SystemStructures is not used and may be NULL. The
   label names the volume (cut to each field; in a bridge's ISO9660 descriptor to 32 characters,
   upper-cased, with '_' for each one outside ASCII). In a bridge, the ISO9660 VIDEO_TS directory
   takes sector 260 when its records fit one sector; a longer one lies inside the UDF partition
   right after the last file's content, before the tail. 21 before start-up. */
HALVORIN_API HALVORIN_STATUS
Halvorin_UDF_Create(uint8_t* p__PUCHAR__Head, uint32_t p__ULONG__HeadSize, uint8_t* p__PUCHAR__Tail,
                    uint32_t p__ULONG__TailSize, uint8_t* p__PUCHAR__SystemStructures,
                    HALVORIN_UDF_TREE_ITEM* p__PRoot, HALVORIN_UDF_TREE_ITEM* p__PVideoTs,
                    HALVORIN_UDF_TREE_ITEM* p__PAudioTs, HALVORIN_UDF_OBJECT* p__PObject,
                    char* p__PCHAR__ExceptionText, uint32_t p__ULONG__ExceptionTextLength,
                    uint32_t* p__PULONG__SystemError, const char* p__PCHAR__VolumeLabel);
/* Sets every title's start sector in the title table of a video manager IFO or BUP in
   memory. 0 when patched; 2, changing nothing, for an item without content, a title set IFO,
   a table that is zero, empty or past the content, or titles of more than one title set. */
HALVORIN_API HALVORIN_STATUS Halvorin_UDF_PatchIfoTable(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                                        uint32_t p__ULONG__TitleSetAddress);
/* Sets the last sector of the set (BUP, byte 12) and of the IFO (byte 28) of an IFO or BUP in
   memory. 0 when patched; 2, changing nothing, for an item without such content. */
HALVORIN_API HALVORIN_STATUS Halvorin_UDF_PatchIfoHeader(HALVORIN_UDF_TREE_ITEM* p__PItem,
                                                         uint32_t p__ULONG__IfoLastAddress,
                                                         uint32_t p__ULONG__BupLastAddress);
/* Frees the memory content of every item of the array whose identifier is not 0. */
HALVORIN_API void Halvorin_UDF_CleanUp(HALVORIN_UDF_TREE_ITEM* p__PItems, uint32_t p__ULONG__Count);
/* Frees the object's image (its readers, tree, head, system and tail files) and zeroes it. */
HALVORIN_API void Halvorin_UDF_Destroy(HALVORIN_UDF_TREE_ITEM* p__PRoot,
                                       HALVORIN_UDF_OBJECT* p__PObject);

/*
 * Burner/grabber: one recorder at one address, with its cache and write-cache thread. Handles
 * come from Halvorin_CdvdBurnerGrabber_Create and are freed with Halvorin_Destroy. Functions
 * with a prefix take the handle, the exception text, its length, the system error pointer and
 * a CDB_FAILURE_INFORMATION (zeroed on entry, filled with status 8).
 */

/* Cache size in MB, 0 for 64 (at least twice the drive buffer). 21 before start-up, 9 for a
   device that is not a CD/DVD device; the handle is NULL on every failure. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Create(
    void** p__PPVOID__BurnerGrabber, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError,
    CDB_FAILURE_INFORMATION* p__PCDB_FAILURE_INFORMATION__Failure,
    HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback, void* p__PVOID__Context,
    uint8_t p__UCHAR__HostAdapter, uint8_t p__UCHAR__Bus, uint8_t p__UCHAR__TargetID,
    uint8_t p__UCHAR__LUN, uint32_t p__ULONG__CacheSizeInMB);

/* Vendor (8), product (16) and revision (4) characters, each terminated (buffers of at least
   9, 17 and 5 bytes; any may be NULL), and the drive buffer size in bytes. */
HALVORIN_API void Halvorin_CdvdBurnerGrabber_GetDeviceInformation(void* p__PVOID__BurnerGrabber,
                                                                  char* p__PCHAR__Vendor,
                                                                  char* p__PCHAR__Product,
                                                                  char* p__PCHAR__Revision,
                                                                  uint32_t* p__PULONG__BufferSize);
HALVORIN_API void Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormats(
    void* p__PVOID__BurnerGrabber, uint8_t* p__PBOOLEAN__IsReadCDR,
    uint8_t* p__PBOOLEAN__IsReadCDRW, uint8_t* p__PBOOLEAN__IsReadDVDROM,
    uint8_t* p__PBOOLEAN__IsReadDVDR, uint8_t* p__PBOOLEAN__IsReadDVDRAM,
    uint8_t* p__PBOOLEAN__IsTestWrite, uint8_t* p__PBOOLEAN__IsWriteCDR,
    uint8_t* p__PBOOLEAN__IsWriteCDRW, uint8_t* p__PBOOLEAN__IsWriteDVDR,
    uint8_t* p__PBOOLEAN__IsWriteDVDRAM);
HALVORIN_API void Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormatsEx(
    void* p__PVOID__BurnerGrabber, uint8_t* p__PBOOLEAN__IsDVDPLUSRW,
    uint8_t* p__PBOOLEAN__IsDVDPLUSR, uint8_t* p__PBOOLEAN__IsWriteDVDPLUSRW,
    uint8_t* p__PBOOLEAN__IsWriteDVDPLUSR);
/* DISC_TYPE_UNKNOWN for no disc or a bad handle. */
HALVORIN_API DISC_TYPE
Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(void* p__PVOID__BurnerGrabber);
/* Ends a running write or grab with status 14; callable from any thread. */
HALVORIN_API void Halvorin_CdvdBurnerGrabber_Cancel(void* p__PVOID__BurnerGrabber);

#define HALVORIN_BURNER_PREFIX                                                  \
  void *p__PVOID__BurnerGrabber, char *p__PCHAR__ExceptionText,                 \
      uint32_t p__ULONG__ExceptionTextLength, uint32_t *p__PULONG__SystemError, \
      CDB_FAILURE_INFORMATION *p__PCDB_FAILURE_INFORMATION__Failure

/* Waits up to 10 seconds (Ex: the seconds given) for the unit, then one TEST UNIT READY. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TestUnitReady(HALVORIN_BURNER_PREFIX);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TestUnitReadyEx(HALVORIN_BURNER_PREFIX,
                                                                        uint32_t p__ULONG__Seconds);
/* Buffer-underrun protection. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetBUP(HALVORIN_BURNER_PREFIX,
                                                               uint8_t* p__PBOOLEAN__IsEnabled,
                                                               uint8_t* p__PBOOLEAN__IsSupported);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SetBUP(HALVORIN_BURNER_PREFIX,
                                                               uint8_t p__BOOLEAN__IsEnabled);
/* Speeds in KB/s; 0xFFFF is the drive's maximum. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetSpeeds(
    HALVORIN_BURNER_PREFIX, uint32_t* p__PULONG__CurrentRead, uint32_t* p__PULONG__MaximumRead,
    uint32_t* p__PULONG__CurrentWrite, uint32_t* p__PULONG__MaximumWrite);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SetSpeeds(HALVORIN_BURNER_PREFIX,
                                                                  uint32_t p__ULONG__ReadSpeed,
                                                                  uint32_t p__ULONG__WriteSpeed);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SendOPC(HALVORIN_BURNER_PREFIX);
/* Closes the session of a track-at-once write (nothing to do on DVD-R, DVD-RW and DVD-RAM). */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_CloseSession(HALVORIN_BURNER_PREFIX);
/* Blanks a CD-RW or DVD-RW (type 0 the whole disc, 1 its table of contents; bits 0-2 kept);
   formats a DVD+RW (then closes it) or a DVD-RAM. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Blank(HALVORIN_BURNER_PREFIX,
                                                              uint8_t p__UCHAR__BlankingType);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Eject(HALVORIN_BURNER_PREFIX);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Load(HALVORIN_BURNER_PREFIX);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Lock(HALVORIN_BURNER_PREFIX);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Release(HALVORIN_BURNER_PREFIX);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetDVDProtectionSystem(
    HALVORIN_BURNER_PREFIX, uint8_t* p__PUCHAR__ProtectionSystem);
/* Track 0xFF: the next writable track. On failure only the valid byte is written (0). */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetTrackInformation(
    HALVORIN_BURNER_PREFIX, uint8_t p__UCHAR__TrackNumber,
    TRACK_INFORMATION* p__PTRACK_INFORMATION__TrackInformation);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetDiscInformation(
    HALVORIN_BURNER_PREFIX, DISC_INFORMATION* p__PDISC_INFORMATION__DiscInformation);
/* The record is zeroed first. A CD's tracks come from every descriptor of its full TOC, of
   which the table of all descriptors keeps the first 100 (a disc of 99 tracks has more). A DVD
   ends with its primary volume descriptor's last block when the disc holds it, else with the
   last LBA of READ CAPACITY. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetTOCInformation(
    HALVORIN_BURNER_PREFIX, TOC_INFORMATION* p__PTOC_INFORMATION__TocInformation);
/* Cooked, raw, raw + PQ, raw + raw P-W, PQ, raw P-W. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes(
    HALVORIN_BURNER_PREFIX, uint8_t* p__PBOOLEAN__IsCooked, uint8_t* p__PBOOLEAN__IsRaw,
    uint8_t* p__PBOOLEAN__IsRawPQ, uint8_t* p__PBOOLEAN__IsRawPW, uint8_t* p__PBOOLEAN__IsPQ,
    uint8_t* p__PBOOLEAN__IsPW);
/* The write-parameters page is left as it was. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    HALVORIN_BURNER_PREFIX, uint8_t* p__PBOOLEAN__IsTAO, uint8_t* p__PBOOLEAN__IsSAO,
    uint8_t* p__PBOOLEAN__IsDAO_PQ, uint8_t* p__PBOOLEAN__IsDAO_RAW_PW);
/* READ(10) of 2048-byte blocks into a buffer of at least blocks x 2048 bytes. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Read10(HALVORIN_BURNER_PREFIX,
                                                               void* p__PVOID__Buffer,
                                                               uint32_t p__ULONG__BufferSize,
                                                               uint32_t p__ULONG__LBA,
                                                               uint16_t p__USHORT__Blocks);

/* Track-at-once: one data track from a built file tree, a file, or a pipe of the given size,
   at the next writable address. Progress (reason 12) every progress interval seconds and at
   the end, drive buffer status (reason 13) every buffer interval seconds; 0 turns either off.
   An empty source gives 2, a source larger than the free blocks 10, cancel 14; after a
   failure the disc is ejected. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(
    HALVORIN_BURNER_PREFIX, void* p__PVOID__Tree, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
/* A file name of 260 characters or more gives 2. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__FileName, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
/* The caller's descriptor is duplicated; the caller keeps its own. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TrackAtOnceFromPipe(
    HALVORIN_BURNER_PREFIX, int p__HANDLE__Pipe, uint32_t p__ULONG__SizeLow,
    uint32_t p__ULONG__SizeHigh, uint8_t p__BOOLEAN__IsXA, uint8_t p__BOOLEAN__IsTestWrite,
    uint8_t p__BOOLEAN__IsMultiSession, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval);

/*
 * Grabbing. Retry depth: how many nested passes a failed transfer may get; Ignore: write a
 * substitute (zeros, or for a raw CD image a pattern sector) instead of failing on a sector that
 * cannot be recovered; Force: one sector per transfer from the start; progress (reason 11) every
 * progress interval seconds, 0 none. A read failing within the last 150 sectors of a CD track
 * grabbed whole is not retried: the rest of the track is taken as its run-out (with Ignore,
 * substitutes); ranges, DVD parts and the sectors of a retried transfer retry to the depth
 * asked. Files are created anew and removed again when the grab fails (finished DVD parts
 * stay). Reasons 18, 19 and 20 carry int32_t* LBA and sector count (20 from a cooked read: LBA
 * only); 14/15 int32_t* track number and count; 16/17 int32_t* part index (from 0) and count;
 * 11 int64_t* total and done sectors.
 */

/* One track into the file: an audio track as a WAVE file, a data track as its user data. A
   track number of 0 or above the TOC's count gives 2. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabTrack(
    HALVORIN_BURNER_PREFIX, uint8_t p__UCHAR__TrackNumber, const char* p__PCHAR__FileName,
    uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsForce,
    uint32_t p__ULONG__ProgressInterval);
/* The user data of LBAs start..ending (inclusive) of one track, sector by sector. An ending
   before the start gives 2; a start outside every track 17; an ending past the track 20. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabRange(
    HALVORIN_BURNER_PREFIX, int32_t p__LONG__StartLBA, int32_t p__LONG__EndingLBA,
    const char* p__PCHAR__FileName, uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore,
    uint8_t p__BOOLEAN__IsForce, uint32_t p__ULONG__ProgressInterval);
/* A CD as "<base>.qvf" (2448-byte raw sectors, Q made anew) beside "<base>.mds". Read mode 1
   raw, 2 raw + PQ, 3 raw + raw P-W; another or one the drive cannot read gives 10, a DVD 10.
   With error correction off the drive's page 01h defaults come back however the grab ends. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabCD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__BaseName, uint32_t p__ULONG__ReadMode,
    uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsForce,
    uint32_t p__ULONG__ProgressInterval, uint8_t p__BOOLEAN__IsErrorCorrectionOff);
/* A DVD as parts of (MB / 2) x 1024 sectors, "<base>.qvf", "<base>.qv1", ... beside
   "<base>.mds"; the last part ends with the disc. A part size below 2 MB gives 2 and makes no
   file; a CD gives 10. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabDVD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__BaseName, uint32_t p__ULONG__PartSizeInMB,
    uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsForce,
    uint32_t p__ULONG__ProgressInterval);

/*
 * Track building: the exports make the sources of a write from file names, a grabbed image, a
 * file tree or an MPEG file, call the writer and free what they made on every path. Audio
 * files are those the audio reader takes; names are opened as given. Statuses without a text:
 * 4 when an object could not be made (disc-at-once and VideoCD), 16 for a VideoCD Ex mode
 * above 1.
 */

/* Session-at-once from the files of the list (1..99 entries, each with a name terminated in
   its 260 bytes: 2 otherwise, before the drive is touched). The library fills the entries'
   flags, sizes and pointers; the pointers are cleared again when the export returns. The last
   track gets 600 post-gap sectors; XA writes every data track as Mode 2 units (a file's last
   block padded with zeros) and marks the disc CD-ROM XA, a list of audio files alone stays
   CD-DA. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SessionAtOnce(
    HALVORIN_BURNER_PREFIX, SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
/* Session-at-once of a grabbed CD image ("<base>.mds" beside its data file): one pass of raw
   sectors with their own P-W subchannel; an image with a Mode 2 track is written XA; the cue
   sheet gives each track the pauses and the whole control of the image's Q. A descriptor that
   cannot be read gives 5 with its system error (or the reader's status); an image whose Q
   numbers its tracks otherwise than 1, 2, ... gives 2. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__DescriptorFileName,
    uint8_t p__BOOLEAN__IsTestWrite, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval, uint8_t p__BOOLEAN__IsWriteLeadIn);
/* Disc-at-once (raw sectors with PQ, or with raw P-W and the CD-Text) from the files of the
   list: audio files only, or one data file alone (a data file after anything, or after audio,
   gives 2); a file that is no whole number of sectors is padded with zeros. A data file named
   .MDF or .QVF that is a raw image (its first sector a data sector, or an audio sector with a
   valid Q) is read in 2448-byte sectors (a size that is no multiple of 2448 gives 2) and
   written as the disc of its own tracks: their kinds, whole controls and pauses from the Q of
   its subchannel; where that gives none, the tracks of the descriptor "<name>.mds" beside it
   that names it, else one data track when its first sector is a data sector. Its first data
   track's mode sets the XA flag (left as it is for an image of audio tracks alone). Refused
   with 2: an image of which none of these gives a track, of more than 99 tracks, whose track
   numbers do not run 1, 2, ..., of several sessions or not starting at LBA 0. The raw-view
   option 1 makes the Q of a raw image anew: each track's INDEX 1 counting up, and a track's
   pause at the end of the one before (where the image's Q has it) INDEX 0 of that track with
   its control, counting down to it, P set. Sizes, starts, the data and raw flags (a raw image
   is data when it holds a data track) and the file pointers are filled by the library; the
   files are freed again. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(
    HALVORIN_BURNER_PREFIX, TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint8_t p__UCHAR__RawViewOption, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
    HALVORIN_BURNER_PREFIX, TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint8_t p__UCHAR__RawViewOption, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval);
/* Disc-at-once of a built tree's image as one data track; a tree not built or of size 0
   gives 2. The tree stays the caller's. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree(
    HALVORIN_BURNER_PREFIX, void* p__PVOID__Tree, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(
    HALVORIN_BURNER_PREFIX, void* p__PVOID__Tree, uint8_t p__BOOLEAN__IsXA,
    uint8_t p__BOOLEAN__IsTestWrite, uint8_t p__BOOLEAN__IsMultiSession,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
/* Deletes the file object of every entry up to the count (at most 100) and clears it. */
HALVORIN_API void FreeTrackArrayObjects(TRACK_ARRAY* p__PTRACK_ARRAY__Tracks);

/* A VideoCD (Super VideoCD) of one MPEG file: the data track patched from the template
   "Halvorin_VideoCD.ISO" ("Halvorin_SuperVideoCD.ISO") beside the library with the label and
   the two volume numbers (volumes in the set, this one's number), then the MPEG track of
   Mode 2 Form 2 units. Track-at-once writes both and leaves the session open (close it with
   Halvorin_CdvdBurnerGrabber_CloseSession); the Ex forms write track-at-once with mode 0,
   session-at-once with mode 1 and give 16 without touching the drive for any other. Refused
   before the drive is touched: a file that is not an MPEG-1 (Super VideoCD: MPEG-2) program
   stream, 2. Refused before anything is written: a disc that is no CD or too small for both
   tracks, 10; track-at-once onto a disc that is not blank, 2 (the disc is laid out from LBA 0).
   Labels longer than a field are cut between UTF-8 characters. */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_VideoCD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__MPEGFileName, const char* p__PCHAR__Label,
    uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber, uint8_t p__BOOLEAN__IsTestWrite,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_VideoCDEx(
    HALVORIN_BURNER_PREFIX, uint32_t p__ULONG__Mode, const char* p__PCHAR__MPEGFileName,
    const char* p__PCHAR__Label, uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber,
    uint8_t p__BOOLEAN__IsTestWrite, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SuperVideoCD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__MPEGFileName, const char* p__PCHAR__Label,
    uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber, uint8_t p__BOOLEAN__IsTestWrite,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval);
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(
    HALVORIN_BURNER_PREFIX, uint32_t p__ULONG__Mode, const char* p__PCHAR__MPEGFileName,
    const char* p__PCHAR__Label, uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber,
    uint8_t p__BOOLEAN__IsTestWrite, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval);

/* CD-Text of the disc (track 0) or a track (1-99) for the next raw disc-at-once write: at most
   31 characters of each text, every character outside '!'..'~' (the space too) stored as '_';
   a NULL text clears it. A track outside 0..99 gives 5 (system error 87). */
HALVORIN_API HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SetCDTextItem(
    void* p__PVOID__BurnerGrabber, int32_t p__LONG__TrackNumber, const char* p__PCHAR__Performer,
    const char* p__PCHAR__Title, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError);

#ifdef __cplusplus
}
#endif

#endif /* HALVORIN_H */

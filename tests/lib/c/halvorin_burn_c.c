/*
 * Write and grab modes through the public header alone, as a C caller links it.
 * Usage: halvorin_burn_c TARGET DISC_TYPE SOURCE LABEL
 *          the backup program's burn sequence: SOURCE (a folder in Windows form,
 *          "Z:\tmp\...\src") track-at-once onto the blank disc of recorder TARGET, which must
 *          report DISC_TYPE, with the volume label LABEL
 *        halvorin_burn_c CASE DIR
 *          one case of the write and grab modes on recorder 0 (recorder 1: a DVD-R), its inputs
 *          and outputs in DIR (Windows form, ending in a backslash): data.iso, a.wav, b.wav,
 *          long.wav (longer than the cache), dvd.bin (data for the DVD-R), bad.qvf (a raw image
 *          of no whole sector), tree\ (a folder), v.mpg and s.mpg (VideoCD and Super VideoCD
 *          streams). Every disc is
 *          ejected when written, so that the recorder exports it and the next write gets a
 *          fresh blank.
 * Prints one line per failed check; the exit status is the number of failures.
 */
#define _POSIX_C_SOURCE 200809L /* popen, fileno */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "c_check.h"
#include "halvorin.h"

typedef struct Events {
  int analyzeBegin, analyzeEnd, syncBegin, syncEnd, progress, underruns, grabProgress, grabTracks;
  int64_t lastTotal, lastWritten;
  void* cancelOn;        /* the burner to cancel ... */
  uint32_t cancelReason; /* ... when this reason comes ... */
  int cancelCount;       /* ... for this many times */
} Events;

static void Record(uint32_t reason, void* context, void* param1, void* param2) {
  Events* e = (Events*)context;
  if (e->cancelOn && reason == e->cancelReason && --e->cancelCount == 0)
    Halvorin_CdvdBurnerGrabber_Cancel(e->cancelOn);
  switch (reason) {
    case TARGET_FILE_ANALYZE_BEGIN:
      ++e->analyzeBegin;
      break;
    case TARGET_FILE_ANALYZE_END:
      ++e->analyzeEnd;
      break;
    case SYNCHRONIZE_CACHE_BEGIN:
      ++e->syncBegin;
      break;
    case SYNCHRONIZE_CACHE_END:
      ++e->syncEnd;
      break;
    case HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN:
      ++e->underruns;
      break;
    case HALVORIN_CALLBACK_REASON_WRITE_PROGRESS:
      ++e->progress;
      e->lastTotal = *(int64_t*)param1;
      e->lastWritten = *(int64_t*)param2;
      break;
    case HALVORIN_CALLBACK_REASON_GRAB_PROGRESS:
      ++e->grabProgress;
      break;
    case HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN:
      ++e->grabTracks;
      break;
    default:
      break;
  }
}

static char text[512];
static uint32_t systemError;
static CDB_FAILURE_INFORMATION failure;
static Events events;

#define ARGS burner, text, sizeof text, &systemError, &failure

/* ---- The backup program's sequence ---- */

static int BurnFolder(uint8_t target, DISC_TYPE discType, const char* source, const char* label) {
  CHECK(Halvorin_UpStart() == 0, "start-up");
  void* burner = NULL;
  HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_Create(
      &burner, text, sizeof text, &systemError, &failure, Record, &events, 0, 0, target, 0, 0);
  CHECK(s == HALVORIN_STATUS_SUCCESS && burner != NULL, "create: %u %s", (unsigned)s, text);
  if (!burner) return failures;

  CHECK(Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner) == discType, "disc type %u",
        (unsigned)Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner));

  TRACK_INFORMATION info;
  memset(&info, 0, sizeof info);
  s = Halvorin_CdvdBurnerGrabber_GetTrackInformation(ARGS, 255, &info);
  CHECK(s == 0 && info.m__UCHAR__IsValid == 1, "track information: %u %s", (unsigned)s, text);
  CHECK(info.m__BOOLEAN__IsBlank == 1 && info.m__ULONG__FreeBlocks > 0, "blank %d, free %u",
        info.m__BOOLEAN__IsBlank, (unsigned)info.m__ULONG__FreeBlocks);
  const int32_t start = info.m__LONG__NextWritableAddress;

  s = Halvorin_CdvdBurnerGrabber_TestUnitReady(ARGS);
  CHECK(s == 0, "test unit ready: %u %s", (unsigned)s, text);

  uint8_t enabled = 0, supported = 0;
  s = Halvorin_CdvdBurnerGrabber_GetBUP(ARGS, &enabled, &supported);
  CHECK(s == 0, "get BUP: %u %s", (unsigned)s, text);
  if (supported) {
    s = Halvorin_CdvdBurnerGrabber_SetBUP(ARGS, 1);
    CHECK(s == 0, "set BUP: %u %s", (unsigned)s, text);
    s = Halvorin_CdvdBurnerGrabber_GetBUP(ARGS, &enabled, &supported);
    CHECK(s == 0 && enabled == 1, "BUP after set: %u, enabled %d", (unsigned)s, enabled);
  }

  uint32_t readNow = 0, readMax = 0, writeNow = 0, writeMax = 0;
  s = Halvorin_CdvdBurnerGrabber_GetSpeeds(ARGS, &readNow, &readMax, &writeNow, &writeMax);
  CHECK(s == 0 && readMax > 0 && writeMax > 0, "get speeds: %u %s (%u, %u)", (unsigned)s, text,
        (unsigned)readMax, (unsigned)writeMax);
  s = Halvorin_CdvdBurnerGrabber_SetSpeeds(ARGS, 0xFFFF, 0xFFFF);
  CHECK(s == 0, "set speeds: %u %s", (unsigned)s, text);

  void* tree = NULL;
  s = Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &systemError, NULL, NULL, 0,
                                            0, 1, 1);
  CHECK(s == 0 && tree != NULL, "tree: %u %s", (unsigned)s, text);
  if (!tree) return failures;
  void* parent = NULL;
  s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, source, NULL, 2,
                                         &parent);
  CHECK(s == 0, "add %s: %u %s", source, (unsigned)s, text);
  s = Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &systemError, start,
                                                Halvorin_ISO9660JolietFileTree_GetLevel(tree), 1,
                                                label, "QB.exe", "QB.exe");
  CHECK(s == 0, "build at %d: %u %s", (int)start, (unsigned)s, text);
  uint32_t high = 0;
  const uint64_t size =
      Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high) | ((uint64_t)high << 32);
  CHECK(size > 0 && size % 2048 == 0, "image size %llu", (unsigned long long)size);

  s = Halvorin_CdvdBurnerGrabber_SendOPC(ARGS);
  CHECK(s == 0, "OPC: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(ARGS, tree, 1, 0, 0, 1, 5);
  CHECK(s == 0, "track-at-once: %u %s", (unsigned)s, text);
  CHECK(events.analyzeBegin == 1 && events.analyzeEnd == 1, "analyze %d/%d", events.analyzeBegin,
        events.analyzeEnd);
  CHECK(events.syncBegin == 1 && events.syncEnd == 1, "synchronize %d/%d", events.syncBegin,
        events.syncEnd);
  CHECK(events.progress > 0 && events.lastWritten == events.lastTotal &&
            events.lastTotal == (int64_t)(size / 2048),
        "progress %d: %lld of %lld blocks, image %llu blocks", events.progress,
        (long long)events.lastWritten, (long long)events.lastTotal,
        (unsigned long long)(size / 2048));
  CHECK(events.underruns == 0, "%d underruns", events.underruns);

  s = Halvorin_CdvdBurnerGrabber_CloseSession(ARGS);
  CHECK(s == 0, "close session: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_Eject(ARGS);
  CHECK(s == 0, "eject: %u %s", (unsigned)s, text);

  Halvorin_Destroy(&burner);
  CHECK(burner == NULL, "destroy clears the handle");
  Halvorin_Destroy(&tree);
  CHECK(tree == NULL, "destroy clears the tree");
  CHECK(Halvorin_DownShut() == 0, "shut-down");
  return failures;
}

/* ---- The cases of the write and grab modes ---- */

static const char* dir; /* Windows form, ending in a backslash */
static char names[8][260];
static int nextName;

/* DIR + name, in one of a few rotating buffers. */
static const char* In(const char* name) {
  char* p = names[nextName++ % 8];
  snprintf(p, 260, "%s%s", dir, name);
  return p;
}

/* The POSIX path of a Windows-form one ("Z:\a\b" is "/a/b"). */
static const char* Posix(const char* windows) {
  char* p = names[nextName++ % 8];
  snprintf(p, 260, "%s", windows + 2);
  for (char* c = p; *c; ++c)
    if (*c == '\\') *c = '/';
  return p;
}

static int Exists(const char* windows) {
  FILE* f = fopen(Posix(windows), "rb");
  if (f) fclose(f);
  return f != NULL;
}

static long long FileSize(const char* windows) {
  FILE* f = fopen(Posix(windows), "rb");
  if (!f) return -1;
  fseek(f, 0, SEEK_END);
  const long long size = ftell(f);
  fclose(f);
  return size;
}

static void* Burner(uint8_t target) {
  void* burner = NULL;
  const HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_Create(
      &burner, text, sizeof text, &systemError, &failure, Record, &events, 0, 0, target, 0, 0);
  CHECK(s == 0 && burner, "create %u: %u %s", (unsigned)target, (unsigned)s, text);
  return burner;
}

static void Eject(void* burner) {
  const HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_Eject(ARGS);
  CHECK(s == 0, "eject: %u %s", (unsigned)s, text);
}

static SAO_TRACK_ARRAY* SaoList(const char* a, const char* b, const char* c) {
  static SAO_TRACK_ARRAY list;
  memset(&list, 0, sizeof list);
  const char* files[3] = {a, b, c};
  for (int i = 0; i < 3 && files[i]; ++i) {
    snprintf(list.m__SAO_TRACK_ENTRY__Tracks[i].m__CHAR__FileName, 260, "%s", In(files[i]));
    list.m__LONG__NumberOfTracks = i + 1;
  }
  return &list;
}

static TRACK_ARRAY* DaoList(const char* a, const char* b) {
  static TRACK_ARRAY list;
  memset(&list, 0, sizeof list);
  const char* files[2] = {a, b};
  for (int i = 0; i < 2 && files[i]; ++i) {
    snprintf(list.m__TRACK_ENTRY__Tracks[i].m__CHAR__FileName, 260, "%s", In(files[i]));
    list.m__LONG__NumberOfTracks = i + 1;
  }
  return &list;
}

/* A disc written session-at-once from a list of files, then ejected. */
static void SessionAtOnce(void* burner, SAO_TRACK_ARRAY* list, uint8_t xa) {
  const int32_t count = list->m__LONG__NumberOfTracks;
  memset(&events, 0, sizeof events);
  const HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, list, xa, 0, 0, 1, 0);
  CHECK(s == 0, "session-at-once of %d tracks: %u %s", (int)count, (unsigned)s, text);
  CHECK(events.analyzeEnd == 1 && events.syncEnd == 1, "analyze %d, synchronize %d",
        events.analyzeEnd, events.syncEnd);
  CHECK(list->m__SAO_TRACK_ENTRY__Tracks[count - 1].m__LONG__PostGapInLBs == 600,
        "last post-gap %d", (int)list->m__SAO_TRACK_ENTRY__Tracks[count - 1].m__LONG__PostGapInLBs);
  for (int32_t i = 0; i < count; ++i)
    CHECK(list->m__SAO_TRACK_ENTRY__Tracks[i].m__PVOID__File == NULL &&
              list->m__SAO_TRACK_ENTRY__Tracks[i].m__PVOID__Tree == NULL,
          "track %d keeps no pointer", (int)i);
  Eject(burner);
}

/* Disc 1 data ISO and two WAVs, disc 2 the ISO as XA, disc 3 the WAVs alone. */
static void CaseSessionAtOnce(void) {
  void* burner = Burner(0);
  if (!burner) return;
  SessionAtOnce(burner, SaoList("data.iso", "a.wav", "b.wav"), 0);
  SAO_TRACK_ARRAY* list = SaoList("data.iso", NULL, NULL);
  SessionAtOnce(burner, list, 1);
  list = SaoList("a.wav", "b.wav", NULL);
  SessionAtOnce(burner, list, 0);
  CHECK(list->m__SAO_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsAudio == 1 &&
            list->m__SAO_TRACK_ENTRY__Tracks[1].m__BOOLEAN__IsAudio == 1 &&
            list->m__SAO_TRACK_ENTRY__Tracks[0].m__LONG__PostGapInLBs == 0,
        "audio flags %d %d, first post-gap %d",
        list->m__SAO_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsAudio,
        list->m__SAO_TRACK_ENTRY__Tracks[1].m__BOOLEAN__IsAudio,
        (int)list->m__SAO_TRACK_ENTRY__Tracks[0].m__LONG__PostGapInLBs);
  Halvorin_Destroy(&burner);
}

/* Track-at-once of the two WAVs (audio tracks) and of the ISO through a pipe. */
static void CaseTrackAtOnce(void) {
  void* burner = Burner(0);
  if (!burner) return;
  HALVORIN_STATUS s =
      Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(ARGS, In("a.wav"), 0, 0, 0, 1, 0);
  CHECK(s == 0, "a.wav: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(ARGS, In("b.wav"), 0, 0, 0, 1, 0);
  CHECK(s == 0, "b.wav: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_CloseSession(ARGS);
  CHECK(s == 0, "close: %u %s", (unsigned)s, text);
  Eject(burner);

  char command[600];
  snprintf(command, sizeof command, "cat '%s'", Posix(In("data.iso")));
  FILE* pipe = popen(command, "r");
  CHECK(pipe != NULL, "popen");
  if (pipe) {
    const long long size = FileSize(In("data.iso"));
    s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromPipe(ARGS, fileno(pipe), (uint32_t)size,
                                                       (uint32_t)(size >> 32), 0, 0, 0, 1, 0);
    CHECK(s == 0, "pipe: %u %s", (unsigned)s, text);
    pclose(pipe);
    s = Halvorin_CdvdBurnerGrabber_CloseSession(ARGS);
    CHECK(s == 0, "close: %u %s", (unsigned)s, text);
    Eject(burner);
  }
  Halvorin_Destroy(&burner);
}

static HALVORIN_STATUS DiscAtOnce(void* burner, int rawPW, TRACK_ARRAY* list, uint8_t xa) {
  memset(&events, 0, sizeof events);
  const HALVORIN_STATUS s =
      rawPW ? Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(ARGS, list, xa, 0, 0, 0, 1, 0)
            : Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(ARGS, list, xa, 0, 0, 0, 1, 0);
  for (int32_t i = 0; i < list->m__LONG__NumberOfTracks; ++i)
    CHECK(list->m__TRACK_ENTRY__Tracks[i].m__PVOID__File == NULL, "track %d file freed", (int)i);
  return s;
}

static void* BuiltTree(int32_t start) {
  void* tree = NULL;
  HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &systemError,
                                                            NULL, NULL, 0, 0, 1, 1);
  CHECK(s == 0 && tree, "tree: %u %s", (unsigned)s, text);
  if (!tree) return NULL;
  void* parent = NULL;
  s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, In("tree"), NULL, 2,
                                         &parent);
  CHECK(s == 0, "add tree: %u %s", (unsigned)s, text);
  s = Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &systemError, start,
                                                Halvorin_ISO9660JolietFileTree_GetLevel(tree), 1,
                                                "QUORVA_DAO", "QB.exe", "QB.exe");
  CHECK(s == 0, "build: %u %s", (unsigned)s, text);
  return tree;
}

static void ExpectRefused(HALVORIN_STATUS s, HALVORIN_STATUS expected, const char* expectedText) {
  CHECK(s == expected, "status %u instead of %u: %s", (unsigned)s, (unsigned)expected, text);
  if (expectedText) CHECK(strcmp(text, expectedText) == 0, "text '%s'", text);
}

/* Discs 1-2 the WAVs with PQ and raw P-W, 3-4 the ISO. */
static void CaseDiscAtOnce(void) {
  void* burner = Burner(0);
  if (!burner) return;
  for (int rawPW = 0; rawPW < 2; ++rawPW) {
    HALVORIN_STATUS s = DiscAtOnce(burner, rawPW, DaoList("a.wav", "b.wav"), 0);
    CHECK(s == 0, "audio, raw P-W %d: %u %s", rawPW, (unsigned)s, text);
    Eject(burner);
  }
  for (int rawPW = 0; rawPW < 2; ++rawPW) {
    TRACK_ARRAY* list = DaoList("data.iso", NULL);
    HALVORIN_STATUS s = DiscAtOnce(burner, rawPW, list, 0);
    CHECK(s == 0, "data, raw P-W %d: %u %s", rawPW, (unsigned)s, text);
    CHECK(list->m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData == 1 &&
              list->m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs ==
                  (int32_t)((FileSize(In("data.iso")) + 2047) / 2048),
          "data entry %d, %d LBs", list->m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsData,
          (int)list->m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs);
    Eject(burner);
  }
  Halvorin_Destroy(&burner);
}

/* Disc 1 the ISO session-at-once, grabbed in read mode 3 as "g"; discs 2-3 "g.qvf" disc-at-once
   with PQ and raw P-W; discs 4-5 the tree with PQ and raw P-W; the forbidden orders write
   nothing. */
static void CaseDiscAtOnceImage(void) {
  void* burner = Burner(0);
  if (!burner) return;
  memset(&events, 0, sizeof events);
  HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_SessionAtOnce(
      ARGS, SaoList("data.iso", NULL, NULL), 0, 0, 0, 0, 0);
  CHECK(s == 0, "session-at-once: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_GrabCD(ARGS, In("g"), 3, 0, 0, 0, 0, 0);
  CHECK(s == 0, "grab: %u %s", (unsigned)s, text);
  Eject(burner);
  for (int rawPW = 0; rawPW < 2; ++rawPW) {
    TRACK_ARRAY* list = DaoList("g.qvf", NULL);
    s = DiscAtOnce(burner, rawPW, list, 1);
    CHECK(s == 0, "image, raw P-W %d: %u %s", rawPW, (unsigned)s, text);
    CHECK(list->m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsRaw == 1 &&
              (long long)list->m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs * 2448 ==
                  FileSize(In("g.qvf")),
          "raw entry %d, %d LBs", list->m__TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsRaw,
          (int)list->m__TRACK_ENTRY__Tracks[0].m__LONG__TrackSizeInLBs);
    Eject(burner);
  }

  for (int rawPW = 0; rawPW < 2; ++rawPW) {
    void* tree = BuiltTree(0);
    if (!tree) break;
    s = rawPW ? Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(ARGS, tree, 0, 0, 0, 1, 0)
              : Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree(ARGS, tree, 0, 0, 0, 1, 0);
    CHECK(s == 0, "tree, raw P-W %d: %u %s", rawPW, (unsigned)s, text);
    Eject(burner);
    Halvorin_Destroy(&tree);
  }

  /* Forbidden orders: nothing is written. */
  s = DiscAtOnce(burner, 0, DaoList("data.iso", "a.wav"), 0);
  ExpectRefused(s, 2,
                "\nHalvorin:Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(): Data track is "
                "present already, mixed mode or multisession is not supported yet!!!\n");
  s = DiscAtOnce(burner, 1, DaoList("a.wav", "data.iso"), 0);
  ExpectRefused(s, 2,
                "\nHalvorin:Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(): Audio track is "
                "present already, invalid mixed mode or multisession is not supported yet!!!\n");
  Halvorin_Destroy(&burner);
}

/* Moves a file aside to `aside` and leaves in its place a copy without its last `cut` bytes. */
static int CutShort(const char* windows, const char* aside, long long cut) {
  const long long size = FileSize(windows);
  char from[260];
  snprintf(from, sizeof from, "%s", Posix(aside));
  if (size < cut || rename(Posix(windows), from) != 0) return 0;
  FILE* in = fopen(from, "rb");
  FILE* out = fopen(Posix(windows), "wb");
  char block[65536];
  long long left = size - cut;
  while (in && out && left > 0) {
    const size_t n =
        fread(block, 1, left < (long long)sizeof block ? (size_t)left : sizeof block, in);
    if (n == 0 || fwrite(block, 1, n, out) != n) break;
    left -= (long long)n;
  }
  if (in) fclose(in);
  if (out) fclose(out);
  return left == 0;
}

/* Session-at-once of the ISO and a WAV, grabbed in read mode 3 as "rt", then written back from
   its descriptor onto the next blank. */
static void CaseRoundTrip(void) {
  void* burner = Burner(0);
  if (!burner) return;
  HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_SessionAtOnce(
      ARGS, SaoList("data.iso", "a.wav", NULL), 0, 0, 0, 0, 0);
  CHECK(s == 0, "session-at-once: %u %s", (unsigned)s, text);
  /* Ignore: the audio track's pre-gap ends the data track in the TOC, and its zero samples fail
     the data sectors' check; they are kept as read. */
  s = Halvorin_CdvdBurnerGrabber_GrabCD(ARGS, In("rt"), 3, 0, 1, 0, 0, 0);
  CHECK(s == 0, "grab: %u %s", (unsigned)s, text);
  TOC_INFORMATION before, after;
  s = Halvorin_CdvdBurnerGrabber_GetTOCInformation(ARGS, &before);
  CHECK(s == 0, "TOC: %u %s", (unsigned)s, text);
  Eject(burner);
  /* An image a sector short of its descriptor is refused before the drive hears of it. */
  CHECK(CutShort(In("rt.qvf"), In("rt.qvf.whole"), 2448), "cutting rt.qvf short");
  s = Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(ARGS, In("rt.mds"), 0, 1, 0, 0);
  CHECK(s == 2 && strstr(text, "does not hold the") != NULL, "short image: %u %s", (unsigned)s,
        text);
  CHECK(rename(Posix(In("rt.qvf.whole")), Posix(In("rt.qvf"))) == 0, "restoring rt.qvf");
  memset(&events, 0, sizeof events);
  s = Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(ARGS, In("rt.mds"), 0, 1, 0, 0);
  CHECK(s == 0, "raw session-at-once: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_GetTOCInformation(ARGS, &after);
  CHECK(s == 0, "TOC: %u %s", (unsigned)s, text);
  CHECK(before.m__UCHAR__NumberOfTracks == after.m__UCHAR__NumberOfTracks &&
            memcmp(before.m__TOC_TRACK_ENTRY__Tracks, after.m__TOC_TRACK_ENTRY__Tracks,
                   sizeof before.m__TOC_TRACK_ENTRY__Tracks) == 0,
        "TOC of %u tracks against %u", before.m__UCHAR__NumberOfTracks,
        after.m__UCHAR__NumberOfTracks);
  Eject(burner);
  Halvorin_Destroy(&burner);
}

/* VideoCD and Super VideoCD, track-at-once (then closed) and session-at-once. */
static void CaseVideoCD(void) {
  void* burner = Burner(0);
  if (!burner) return;
  for (int super = 0; super < 2; ++super) {
    const char* mpeg = In(super ? "s.mpg" : "v.mpg");
    const char* label = super ? "QUORVA_SUPER" : "QUORVA_VIDEO";
    HALVORIN_STATUS s =
        super ? Halvorin_CdvdBurnerGrabber_SuperVideoCD(ARGS, mpeg, label, 1, 1, 0, 1, 0)
              : Halvorin_CdvdBurnerGrabber_VideoCD(ARGS, mpeg, label, 1, 1, 0, 1, 0);
    CHECK(s == 0, "track-at-once, super %d: %u %s", super, (unsigned)s, text);
    s = Halvorin_CdvdBurnerGrabber_CloseSession(ARGS);
    CHECK(s == 0, "close: %u %s", (unsigned)s, text);
    Eject(burner);
    s = super ? Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(ARGS, 1, mpeg, label, 1, 1, 0, 1, 0)
              : Halvorin_CdvdBurnerGrabber_VideoCDEx(ARGS, 1, mpeg, label, 1, 1, 0, 1, 0);
    CHECK(s == 0, "session-at-once, super %d: %u %s", super, (unsigned)s, text);
    Eject(burner);
  }
  Halvorin_Destroy(&burner);
}

/* Every grab of a disc of the ISO and a WAV: the tracks, a range, the disc in read modes 1-3;
   then a DVD-R of the ISO grabbed in parts of 2 MB. Ignore where the data track is read whole:
   the audio track's pre-gap ends it in the TOC, and those sectors are no data sectors. */
static void CaseGrabs(void) {
  void* burner = Burner(0);
  if (!burner) return;
  HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_SessionAtOnce(
      ARGS, SaoList("data.iso", "a.wav", NULL), 0, 0, 0, 0, 0);
  CHECK(s == 0, "session-at-once: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_GrabTrack(ARGS, 1, In("t1.iso"), 0, 1, 0, 0);
  CHECK(s == 0, "track 1: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_GrabTrack(ARGS, 2, In("t2.wav"), 0, 0, 0, 0);
  CHECK(s == 0, "track 2: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_GrabRange(ARGS, 16, 25, In("range.bin"), 0, 0, 0, 0);
  CHECK(s == 0 && FileSize(In("range.bin")) == 10 * 2048, "range: %u %s", (unsigned)s, text);
  for (uint32_t mode = 1; mode <= 3; ++mode) {
    char base[8];
    snprintf(base, sizeof base, "cd%u", (unsigned)mode);
    s = Halvorin_CdvdBurnerGrabber_GrabCD(ARGS, In(base), mode, 0, 1, 0, 0, 0);
    CHECK(s == 0, "GrabCD read mode %u: %u %s", (unsigned)mode, (unsigned)s, text);
  }
  Eject(burner);
  Halvorin_Destroy(&burner);

  burner = Burner(1);
  if (!burner) return;
  s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(ARGS, In("dvd.bin"), 1, 0, 0, 0, 0);
  CHECK(s == 0, "DVD write: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_CloseSession(ARGS);
  CHECK(s == 0, "DVD close: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_GrabDVD(ARGS, In("dvd"), 2, 0, 0, 0, 0);
  CHECK(s == 0 && Exists(In("dvd.qvf")) && Exists(In("dvd.mds")), "GrabDVD: %u %s", (unsigned)s,
        text);
  Eject(burner);
  Halvorin_Destroy(&burner);
}

/* The refusals, each with its status; nothing of them is left on disc or in the folder. */
static void CaseRefusals(void) {
  void* burner = Burner(0);
  if (!burner) return;
  SAO_TRACK_ARRAY* sao = SaoList("data.iso", "a.wav", NULL);
  sao->m__LONG__NumberOfTracks = 0;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, sao, 0, 0, 0, 0, 0), 2,
                "\nHalvorin:Halvorin_CdvdBurnerGrabber_SessionAtOnce(): The number of tracks is "
                "not 1..99!!!\n");
  sao->m__LONG__NumberOfTracks = 100;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, sao, 0, 0, 0, 0, 0), 2, NULL);
  sao = SaoList("data.iso", "a.wav", NULL);
  sao->m__SAO_TRACK_ENTRY__Tracks[1].m__CHAR__FileName[0] = 0;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, sao, 0, 0, 0, 0, 0), 2,
                "\nHalvorin:Halvorin_CdvdBurnerGrabber_SessionAtOnce(): Track 1 has no file "
                "name!!!\n");
  sao = SaoList("data.iso", NULL, NULL);
  memset(sao->m__SAO_TRACK_ENTRY__Tracks[0].m__CHAR__FileName, 'x', 260);
  ExpectRefused(Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, sao, 0, 0, 0, 0, 0), 2, NULL);
  TRACK_ARRAY* dao = DaoList("a.wav", NULL);
  dao->m__LONG__NumberOfTracks = 0;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(ARGS, dao, 0, 0, 0, 0, 0, 0), 2,
                NULL);
  dao->m__LONG__NumberOfTracks = 100;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(ARGS, dao, 0, 0, 0, 0, 0, 0), 2,
                NULL);
  dao = DaoList("a.wav", "b.wav");
  dao->m__TRACK_ENTRY__Tracks[1].m__CHAR__FileName[0] = 0;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(ARGS, dao, 0, 0, 0, 0, 0, 0), 2,
                NULL);
  dao = DaoList("bad.qvf", NULL);
  char expected[400];
  snprintf(expected, sizeof expected,
           "\nHalvorin:Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(): Raw image '%s' is not a "
           "whole number of sectors!!!\n",
           In("bad.qvf"));
  ExpectRefused(Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromFile(ARGS, dao, 0, 0, 0, 0, 0, 0), 2,
                expected);
  void* tree = NULL;
  Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &systemError, NULL, NULL, 0, 0, 1,
                                        1);
  ExpectRefused(Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree(ARGS, tree, 0, 0, 0, 0, 0), 2,
                "\nHalvorin:Halvorin_CdvdBurnerGrabber_DiscAtOncePQFromTree(): The tree's image "
                "is not built!!!\n");
  Halvorin_Destroy(&tree);
  systemError = 0;
  ExpectRefused(
      Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(ARGS, In("missing.mds"), 0, 0, 0, 0), 5,
      NULL);
  CHECK(systemError == 2, "system error %u", (unsigned)systemError);
  ExpectRefused(Halvorin_CdvdBurnerGrabber_VideoCDEx(ARGS, 2, In("v.mpg"), "L", 1, 1, 0, 0, 0), 16,
                NULL);
  ExpectRefused(Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(ARGS, 7, In("s.mpg"), "L", 1, 1, 0, 0, 0),
                16, NULL);

  /* Cancel once the cache is full, the long WAV not read to its end: 14. A small cache. */
  Halvorin_Destroy(&burner);
  HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_Create(&burner, text, sizeof text, &systemError,
                                                        &failure, Record, &events, 0, 0, 0, 0, 1);
  CHECK(s == 0, "create: %u %s", (unsigned)s, text);
  if (!burner) return;
  memset(&events, 0, sizeof events);
  events.cancelOn = burner;
  events.cancelReason = WAIT_CACHE_FULL_END;
  events.cancelCount = 1;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, SaoList("long.wav", NULL, NULL), 0,
                                                         0, 0, 1, 0),
                14, NULL);
  events.cancelOn = NULL;
  Halvorin_Destroy(&burner);
  burner = Burner(0); /* the cancelled disc was ejected: a fresh blank */
  if (!burner) return;
  s = Halvorin_CdvdBurnerGrabber_SessionAtOnce(ARGS, SaoList("data.iso", "a.wav", NULL), 0, 0, 0, 0,
                                               0);
  CHECK(s == 0, "session-at-once: %u %s", (unsigned)s, text);
  ExpectRefused(Halvorin_CdvdBurnerGrabber_GrabTrack(ARGS, 0, In("t0.iso"), 0, 0, 0, 0), 2, NULL);
  CHECK(!Exists(In("t0.iso")), "track 0 leaves no file");
  ExpectRefused(Halvorin_CdvdBurnerGrabber_GrabDVD(ARGS, In("p1"), 1, 0, 0, 0, 0), 2, NULL);
  CHECK(!Exists(In("p1.qvf")) && !Exists(In("p1.mds")), "part size 1 leaves no file");
  ExpectRefused(Halvorin_CdvdBurnerGrabber_GrabDVD(ARGS, In("cd"), 2, 0, 0, 0, 0), 10, NULL);
  CHECK(!Exists(In("cd.qvf")) && !Exists(In("cd.mds")), "GrabDVD of a CD leaves no file");
  memset(&events, 0, sizeof events);
  events.cancelOn = burner;
  events.cancelReason = HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN;
  events.cancelCount = 1;
  ExpectRefused(Halvorin_CdvdBurnerGrabber_GrabCD(ARGS, In("cancel"), 3, 0, 1, 0, 1, 0), 14, NULL);
  events.cancelOn = NULL;
  CHECK(events.grabTracks == 1, "grab tracks begun %d", events.grabTracks);
  CHECK(!Exists(In("cancel.qvf")) && !Exists(In("cancel.mds")), "a cancelled grab leaves no file");
  Eject(burner);
  Halvorin_Destroy(&burner);
}

int main(int argc, char** argv) {
  if (argc == 5)
    return BurnFolder((uint8_t)atoi(argv[1]), (DISC_TYPE)atoi(argv[2]), argv[3], argv[4]);
  if (argc != 3) {
    printf("usage: %s TARGET DISC_TYPE SOURCE LABEL | %s CASE DIR\n", argv[0], argv[0]);
    return 100;
  }
  dir = argv[2];
  const char* c = argv[1];
  CHECK(Halvorin_UpStart() == 0, "start-up");
  if (strcmp(c, "sao") == 0)
    CaseSessionAtOnce();
  else if (strcmp(c, "tao") == 0)
    CaseTrackAtOnce();
  else if (strcmp(c, "dao") == 0)
    CaseDiscAtOnce();
  else if (strcmp(c, "dao-image") == 0)
    CaseDiscAtOnceImage();
  else if (strcmp(c, "round-trip") == 0)
    CaseRoundTrip();
  else if (strcmp(c, "videocd") == 0)
    CaseVideoCD();
  else if (strcmp(c, "grabs") == 0)
    CaseGrabs();
  else if (strcmp(c, "refusals") == 0)
    CaseRefusals();
  else {
    printf("unknown case %s\n", c);
    return 100;
  }
  Halvorin_DownShut();
  return failures;
}

// The object behind a burner/grabber handle: one recorder with its cache, its write-cache
// thread and its lock. Locks, outermost first: this object's lock (a whole write or query),
// then the transport's (one command).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "halvorin.h"
#include "lib/core/burner/cache.h"
#include "lib/core/burner/fifo_queue.h"
#include "lib/core/burner/write_cache_thread.h"
#include "lib/core/critical_section_lock.h"
#include "lib/core/scsi/scsi_device_cdvd_rom_writer.h"
#include "lib/core/sector/cd_text.h"
#include "lib/core/sector/edc_ecc.h"
#include "lib/mastering/raw/raw_track_forms.h"

class CHalvorin_FileChain;
class CHalvorin_FileTreeNode;
class CHalvorin_ISO9660FileTree;
struct CHalvorin_ImportWalk;
struct CHalvorin_SessionFeed;
struct CHalvorin_GrabPass;
struct CHalvorin_GrabProgress;
struct CHalvorin_WriteReports;
namespace platform::fs {
class File;
}

inline constexpr std::uint8_t kHalvorinWriteModeTrackAtOnce = 1;
inline constexpr std::uint8_t kHalvorinWriteModeSessionAtOnce = 2;
inline constexpr std::uint8_t kHalvorinWriteModeDiscAtOnce = 3;

struct CHalvorin_TrackAtOnceOptions {
  CHalvorin_FileChain* m__PCHalvorin_FileChain__Source = nullptr;
  bool m__BOOLEAN__IsXA = false;
  bool m__BOOLEAN__IsTestWrite = false;
  bool m__BOOLEAN__IsMultiSession = false;
  std::uint32_t m__ULONG__ProgressInterval = 0;  // seconds; 0 none
  std::uint32_t m__ULONG__BufferInterval = 0;    // seconds; 0 none
  std::uint32_t m__ULONG__TrackMode = 1;         // 1 data, 2 audio, other Mode 2 Form 2
  std::uint8_t m__UCHAR__SubHeader[4] = {};
};

class CHalvorin_CdvdBurnerGrabber : public CHalvorin_ScsiDeviceCdvdRomWriter {
 public:
  CHalvorin_CdvdBurnerGrabber(HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
                              void* p__PVOID__Context, std::uint8_t p__UCHAR__HostAdapter,
                              std::uint8_t p__UCHAR__Bus, std::uint8_t p__UCHAR__TargetID,
                              std::uint8_t p__UCHAR__LUN, std::uint32_t p__ULONG__CacheSizeInMB);
  ~CHalvorin_CdvdBurnerGrabber() override;

  // Producer of the write-cache thread; returns the thread's exit code.
  virtual std::uint32_t WriteCacheThread();
  static std::uint32_t WriteCacheThreadRoutine(
      CHalvorin_CdvdBurnerGrabber* p__PCHalvorin_CdvdBurnerGrabber__This);
  // Stops and joins the producer; never throws. 0, or 1460 (time-out) when it did not report
  // dead within 2 s (it is joined all the same).
  std::uint32_t ShutDownCacheThread();

  // Queries and small actions.
  DISC_TYPE GetDiscTypeSafe();
  DISC_TYPE GetInsertedDiscType();
  void GetDeviceInformation(char* p__PCHAR__Vendor, char* p__PCHAR__Product,
                            char* p__PCHAR__Revision, std::uint32_t* p__PULONG__BufferSize);
  void GetSupportedMediaFormats(bool* p__PBOOLEAN__Flags10);
  void GetSupportedMediaFormatsEx(bool* p__PBOOLEAN__Flags4);
  void GetCdvdSpeeds(std::uint32_t* p__PULONG__CurrentRead, std::uint32_t* p__PULONG__MaximumRead,
                     std::uint32_t* p__PULONG__CurrentWrite,
                     std::uint32_t* p__PULONG__MaximumWrite);
  void SetCdvdSpeeds(std::uint32_t p__ULONG__ReadSpeed, std::uint32_t p__ULONG__WriteSpeed);
  void GetBUP(bool* p__PBOOLEAN__IsEnabled, bool* p__PBOOLEAN__IsSupported);
  void SetBUP(bool p__BOOLEAN__IsEnabled);
  void SendOPC();
  void Load();
  void Eject();
  void Lock();
  void Release();
  void TestUnitReady(std::uint32_t p__ULONG__Seconds);
  void GetDVDProtectionSystem(std::uint8_t* p__PUCHAR__System);
  void GetDiscInformation(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Size);
  void GetTrackInformation(std::uint8_t p__UCHAR__TrackNumber, std::uint8_t* p__PUCHAR__Buffer,
                           std::uint32_t p__ULONG__Size);
  void GetTOCInformation(TOC_INFORMATION* p__PTOC_INFORMATION__Toc);
  void ProbeSupportedWriteModes(bool* p__PBOOLEAN__TAO, bool* p__PBOOLEAN__SAO,
                                bool* p__PBOOLEAN__DAO_PQ, bool* p__PBOOLEAN__DAO_RAW_PW);
  void ProbeSupportedReadModes(bool* p__PBOOLEAN__Flags6);
  void Cancel() { m__BOOLEAN__IsCancel.store(true); }
  bool IsCancel() const { return m__BOOLEAN__IsCancel.load(); }

  // Mode page helpers of the write modes (no lock of their own).
  void SetWriteParameters(std::uint8_t p__UCHAR__WriteType, std::uint8_t p__UCHAR__DataBlockType,
                          std::uint8_t p__UCHAR__TrackMode, bool p__BOOLEAN__IsTestWrite,
                          bool p__BOOLEAN__IsMultiSession, std::uint8_t p__UCHAR__SessionFormat,
                          const std::uint8_t* p__PUCHAR__SubHeader, bool p__BOOLEAN__IsLinkSize);
  void RestoreWriteParameters();
  void SynchronizeCache();
  void FormatUnitForDVDPLUSRW();
  void FormatUnitForDVDRAM();
  void MakeTrackInformation(std::uint8_t* p__PUCHAR__Buffer);
  void GetCapacity(std::uint32_t* p__PULONG__LastLBA, std::uint32_t* p__PULONG__BlockLength);

  // Multisession import: every file and directory of a data track's ISO9660 (Joliet flag 0)
  // or Joliet (1) hierarchy into the tree, as nodes that keep their data where it is.
  void ImportTrack(CHalvorin_ISO9660FileTree* p__PCHalvorin_ISO9660FileTree__Tree,
                   std::uint8_t p__UCHAR__TrackNumber, bool p__BOOLEAN__IsJoliet);

  // Grabbing: one track or a range of one track into a file (audio tracks behind a WAVE
  // header), a CD as a raw image of 2448-byte sectors beside its descriptor, a DVD as parts of
  // a cooked image beside its descriptor.
  void GrabTrack(std::uint8_t p__UCHAR__TrackNumber, const char* p__PCHAR__FileName,
                 std::uint32_t p__ULONG__RetryDepth, bool p__BOOLEAN__IsIgnore,
                 bool p__BOOLEAN__IsForce, std::uint32_t p__ULONG__ProgressInterval);
  void GrabRange(std::int32_t p__LONG__StartLBA, std::int32_t p__LONG__EndingLBA,
                 const char* p__PCHAR__FileName, std::uint32_t p__ULONG__RetryDepth,
                 bool p__BOOLEAN__IsIgnore, bool p__BOOLEAN__IsForce,
                 std::uint32_t p__ULONG__ProgressInterval);
  // Read mode 1 raw, 2 raw + PQ, 3 raw + raw P-W.
  void GrabDisc(const char* p__PCHAR__BaseName, std::uint32_t p__ULONG__ReadMode,
                std::uint32_t p__ULONG__RetryDepth, bool p__BOOLEAN__IsIgnore,
                bool p__BOOLEAN__IsForce, std::uint32_t p__ULONG__ProgressInterval,
                bool p__BOOLEAN__IsErrorCorrectionOff);
  void GrabDiscSplit(const char* p__PCHAR__BaseName, std::uint32_t p__ULONG__PartSizeInMB,
                     std::uint32_t p__ULONG__RetryDepth, bool p__BOOLEAN__IsIgnore,
                     bool p__BOOLEAN__IsForce, std::uint32_t p__ULONG__ProgressInterval);
  // The image descriptors, written at the file's position and flushed. The DVD one reads the
  // disc's DVD structures and gives its own size in bytes.
  static void FormatFileMDSForCD(platform::fs::File& p__File, const TOC_INFORMATION& p__Toc,
                                 const char* p__PCHAR__Name);
  void FormatFileMDSForDVD(platform::fs::File& p__File, const TOC_INFORMATION& p__Toc,
                           const char* p__PCHAR__Name, std::uint32_t* p__PULONG__Size,
                           std::uint32_t p__ULONG__Parts);
  // Page 01h for grabbing (no lock of their own; never throw): the default page put back as
  // current, or the default with error correction and read retries off (TRUE when the drive
  // took both).
  void RestoreReadErrorRecoverySafe();
  bool DisableHardwareErrorCorrectionSafe();

  // Writing, closing and blanking.
  void TrackAtOnce(const CHalvorin_TrackAtOnceOptions& p__Options);
  // Session-at-once: the whole session of the list in one pass from LBA -150 (the host-written
  // lead-in first with the write-lead-in flag and a raw P-W first track). The track forms, when
  // given, hold each track's whole control (of the raw tracks of an image).
  void SessionAtOnce(SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks, bool p__BOOLEAN__IsXA,
                     bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
                     std::uint32_t p__ULONG__ProgressInterval,
                     std::uint32_t p__ULONG__BufferInterval, bool p__BOOLEAN__IsWriteLeadIn,
                     const HalvorinI_TrackForms* p__PForms = nullptr);
  // The MMC cue sheet of the list into a buffer of at least 1616 bytes; its length in bytes.
  // Each track's control is its forms' when given, else 4 for data and 0 for audio.
  void CompileCueSheet(const SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks,
                       std::uint8_t* p__PUCHAR__CueSheet, std::uint32_t* p__PULONG__Length,
                       bool p__BOOLEAN__IsXA, bool p__BOOLEAN__IsWriteLeadIn,
                       const HalvorinI_TrackForms* p__PForms = nullptr);
  // Disc-at-once: the whole disc from the lead-in start the drive reports to the end of the
  // lead-out, raw sectors of 2368 bytes (2352 and PQ) or 2448 (2352 and raw P-W, the lead-in
  // carrying the CD-Text). The source yields the program area in those sectors (normally a
  // raw view over the tracks of the list). The track forms, when given, hold each track's whole
  // control for the lead-in's TOC, track 1's pre-gap and the lead-out.
  // A row of the disc-at-once mode table.
  struct DiscAtOnceMode;
  void DiscAtOncePQ(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, bool p__BOOLEAN__IsXA,
                    bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
                    std::uint32_t p__ULONG__ProgressInterval,
                    std::uint32_t p__ULONG__BufferInterval, TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                    const HalvorinI_TrackForms* p__PForms = nullptr);
  void DiscAtOnceRawPW(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, bool p__BOOLEAN__IsXA,
                       bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
                       std::uint32_t p__ULONG__ProgressInterval,
                       std::uint32_t p__ULONG__BufferInterval, TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                       const HalvorinI_TrackForms* p__PForms = nullptr);
  void AddCDTextForTrack(std::int32_t p__LONG__TrackNumber, const char* p__PCHAR__Performer,
                         const char* p__PCHAR__Title);
  CHalvorin_CDText& GetCDText() { return m__CHalvorin_CDText; }

  // Raw-sector routines of the raw session form and the grab; sectors of `stride` bytes.
  void FormatRawSectors(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count,
                        std::uint32_t p__ULONG__Stride, std::int32_t p__LONG__LBA,
                        std::uint8_t p__UCHAR__Mode);
  // Scrambles the data sectors among `count` 2448-byte sectors with raw P-W subchannel: those
  // whose Q says data, or, where the Q is no valid frame, that have a sync field and a data mode.
  void ScrambleRawSectors(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count,
                          std::uint32_t p__ULONG__Stride);
  static void SetPChannelOfRawSector(std::uint8_t* p__PUCHAR__Sector);
  static void FormatQSubChannel(std::uint32_t p__ULONG__RelativeTime, std::int32_t p__LONG__LBA,
                                std::uint8_t p__UCHAR__Control, std::uint8_t p__UCHAR__TNO,
                                std::uint8_t* p__PUCHAR__Buffer, bool p__BOOLEAN__IsPreGap,
                                bool p__BOOLEAN__IsFirstSectorMark, bool p__BOOLEAN__IsCRC,
                                std::uint32_t p__ULONG__Count, bool p__BOOLEAN__IsP);
  static void InterleaveSubChannels(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Count);
  static void CalculateQCRC(std::uint8_t* p__PUCHAR__Q);
  // Raw sectors scrambled by this process (traced only).
  static std::atomic<std::uint64_t> s__ULONGLONG__ScrambledLBs;
  void CloseSession();
  void Blank(std::uint8_t p__UCHAR__BlankingType, std::uint32_t p__ULONG__StartAddress);
  void BlankForCDRW(std::uint8_t p__UCHAR__BlankingType, std::uint32_t p__ULONG__StartAddress);
  void BlankForDVDPLUSRW();
  void CloseSessionForDVDPLUSR();

  std::uint32_t GetCacheSizeInUCHARs() const { return m__ULONG__CacheSizeInUCHARs; }
  CHalvorin_CacheManager* GetCacheManager() const { return m__PCHalvorin_CacheManager.get(); }
  std::uint8_t GetLastWriteMode() const { return m__UCHAR__LastWriteMode; }
  bool IsBUPEnabled() const { return m__BOOLEAN__IsBUPEnabled; }

 protected:
  void Callback(std::uint32_t p__ULONG__Reason, void* p__PVOID__Param1, void* p__PVOID__Param2);
  // Consumer protocol: start the producer over the source and wait for the cache to fill.
  void StartCacheThread(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                        std::uint32_t p__ULONG__LBSize, const char* p__PCHAR__Method);
  // The two halves of it: the producer started; the wait (reasons 6 and 7 around it) until the
  // cache is full or the producer has read all it had to.
  void LaunchCacheThread(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                         std::uint32_t p__ULONG__LBSize, const char* p__PCHAR__Method);
  void WaitForCacheFull(const char* p__PCHAR__Method);
  // The next filled object, or null once the source is complete; throws what the producer
  // posted, 14 on cancel, and 10 when the producer ended without the end of the source.
  CHalvorin_CacheObject* GetNextCacheObject(const char* p__PCHAR__Method);
  void ReleaseCacheObject(CHalvorin_CacheObject* p__PCHalvorin_CacheObject__Object);
  // The current write-parameters page (mode data from the header on), to be put back.
  std::unique_ptr<std::uint8_t[]> SaveWriteParameters(std::uint32_t* p__PULONG__Length);
  void PutBackWriteParameters(const std::uint8_t* p__PUCHAR__Page, std::uint32_t p__ULONG__Length);
  bool IsVendor(const char* p__PCHAR__Vendor) const;
  bool IsProduct(const char* p__PCHAR__Product) const;
  void ThrowIfCancelled(const char* p__PCHAR__Method, std::uint64_t p__ULONGLONG__Offset);
  // After each write of a loop: the progress at its interval, the drive's buffer read every
  // ninth write (where the medium has one to read) and reported at its interval.
  void ReportWrite(CHalvorin_WriteReports& p__Reports, std::uint64_t p__ULONGLONG__WrittenLBs,
                   bool p__BOOLEAN__IsBufferReadable, const char* p__PCHAR__Method);
  // At a loop's end: the progress once more unless the last report already said it all.
  void ReportWriteEnd(CHalvorin_WriteReports& p__Reports, std::uint64_t p__ULONGLONG__WrittenLBs);
  // The ways out of a failed write: its trace, the cache synchronized and the disc ejected, the
  // last two only warning when they fail so that the write's own failure is what propagates.
  static void TraceWriteFailure(const char* p__PCHAR__Method,
                                const CHalvorin_Exception* p__PCHalvorin_Exception__Exception);
  void SynchronizeCacheAfterFailure(const char* p__PCHAR__Method);
  void EjectAfterFailure(const char* p__PCHAR__Method);
  // One track of a session: pre-gap, the track's data from the session's producer, post-gap.
  void SessionAtOnceTrack(const SAO_TRACK_ENTRY& p__Track, std::uint64_t p__ULONGLONG__TotalLBs,
                          std::int32_t* p__PLONG__Address, std::int32_t p__LONG__PreGapInLBs,
                          std::int32_t p__LONG__PostGapInLBs,
                          std::uint32_t p__ULONG__ProgressInterval,
                          std::uint32_t p__ULONG__BufferInterval, DISC_TYPE p__DISC_TYPE__Type,
                          bool p__BOOLEAN__IsRawPW, bool p__BOOLEAN__IsXA,
                          std::int32_t p__LONG__TrackIndex, bool p__BOOLEAN__IsAudio,
                          std::uint8_t p__UCHAR__Control, bool p__BOOLEAN__IsWriteLeadIn,
                          std::uint64_t* p__PULONGLONG__WrittenLBs);
  void WriteLeadIn(std::int32_t* p__PLONG__Address);
  // The one algorithm of both disc-at-once modes; the row says what differs.
  void DiscAtOnce(const DiscAtOnceMode& p__Mode,
                  CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, bool p__BOOLEAN__IsXA,
                  bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
                  std::uint32_t p__ULONG__ProgressInterval, std::uint32_t p__ULONG__BufferInterval,
                  TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, const HalvorinI_TrackForms* p__PForms);
  // Producer of a session: every track's source in turn, each object tagged with its track.
  std::uint32_t SessionCacheThread();
  // A producer's way out: the consumer never waits on a full cache or a live producer after it.
  std::uint32_t EndCacheThread(const char* p__PCHAR__Producer, bool p__BOOLEAN__IsCacheFullSet);
  // `transfer` bytes of the source into the object, its last sector padded with zeros where the
  // source ends inside it.
  void FillCacheObject(CHalvorin_CacheObject* p__PCHalvorin_CacheObject__Object,
                       CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                       std::uint64_t p__ULONGLONG__Transfer, std::uint32_t p__ULONG__LBSize);
  void ImportDirectory(CHalvorin_ISO9660FileTree* p__PCHalvorin_ISO9660FileTree__Tree,
                       bool p__BOOLEAN__IsJoliet, const std::string& p__STRING__ParentPath,
                       std::uint32_t p__ULONG__Extent, std::uint32_t p__ULONG__Size,
                       CHalvorin_FileTreeNode* p__PCHalvorin_FileTreeNode__Parent,
                       CHalvorin_ImportWalk& p__Walk);

  // The read engines of the grab over one pass: a track, a range, or a failed transfer again.
  void GrabTrackCooked(const CHalvorin_GrabPass& p__Pass);
  void GrabTrackRaw(const CHalvorin_GrabPass& p__Pass);
  // A grab's start with the drive's own error recovery: the drive ready, no cancel, the TOC.
  std::unique_ptr<TOC_INFORMATION> ReadyForGrab();
  // After a pass's transfer: its progress at the pass's interval.
  void ReportGrabProgress(const CHalvorin_GrabPass& p__Pass, CHalvorin_GrabProgress& p__Progress);
  // Exception 14 once the grab was cancelled.
  void ThrowIfGrabCancelled(const char* p__PCHAR__Method, std::int32_t p__LONG__LBA) const;

  CHalvorin_CriticalSection m__CRITICAL_SECTION__BurnerGrabber;
  CHalvorin_LockedFifoQueue m__CHalvorin_LockedFifoQueue__WriteQueue;
  std::unique_ptr<CHalvorin_CacheManager> m__PCHalvorin_CacheManager;
  std::uint32_t m__ULONG__CacheSizeInUCHARs = 0;
  CHalvorin_ManualResetEvent m__EVENT__CacheFull;
  CHalvorin_ManualResetEvent m__EVENT__CacheThreadDead;
  CHalvorin_QueueSignal m__SIGNAL__WriteQueue;
  CHalvorin_QueueSignal m__SIGNAL__FreeQueue;
  std::atomic<std::int32_t> m__LONG__StopCounter{0};
  std::thread m__THREAD__CacheThread;
  CHalvorin_FileChain* m__PCHalvorin_FileChain__Source = nullptr;
  std::uint32_t m__ULONG__LBSize = 0;
  std::atomic<bool> m__BOOLEAN__IsCancel{false};
  std::uint8_t m__UCHAR__LastWriteMode = kHalvorinWriteModeTrackAtOnce;
  bool m__BOOLEAN__IsBUPEnabled = false;
  bool m__BOOLEAN__IsEndMarkerSeen = false;
  HALVORIN_CALLBACK m__HALVORIN_CALLBACK__Callback;
  void* m__PVOID__Context;
  // Sector coding of the raw write modes and the check of raw grabs.
  CHalvorin_EDCECC m__CHalvorin_EDCECC;
  CHalvorin_CDText m__CHalvorin_CDText;
  // The session the producer reads while a session-at-once write runs, else null.
  const CHalvorin_SessionFeed* m__PCHalvorin_SessionFeed__Session = nullptr;
};

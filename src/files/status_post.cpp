// Status posts: the running job's settings and state, written into the
// status file for the companion application.
#include "files/status_post.h"

#include "files/files_common.h"
#include "files/status_file.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

namespace {

// Counts 1..65535 and then 1 again: 0 is what a new, zeroed file holds, so a
// post never writes it.
uint16_t NextStatusSerial(uint16_t serial) {
    uint16_t next = static_cast<uint16_t>(serial + 1);
    return next == 0 ? 1 : next;
}

}  // namespace

void FillJobStatus(PrintCfgRecord *rec, const JobProp *job, const UISetupPara *ui) {
    rec->XRes = static_cast<uint16_t>(job->XDPI);
    rec->YRes = static_cast<uint16_t>(job->YDPI);
    rec->Stride = static_cast<uint16_t>(job->BytesPerLine);
    rec->Width = static_cast<uint16_t>(job->Width);
    rec->Height = static_cast<uint16_t>(job->Height);
    rec->Colors = job->Colors;
    rec->Bits = job->Bits;
    rec->Passes = static_cast<uint16_t>(job->Pass);
    rec->VsdMode = static_cast<uint16_t>(job->VsdMode);
    rec->SpeedClass = ui->PrintSpeed;
    rec->SpeedValue = ui->Dir;  // the companion reads block byte 50 here
    // The bidirectional bytes may change under a running job (companion
    // requests): read through the block's accessor.
    const uint8_t cls = ResolutionClass(job->XDPI);
    rec->Align0 = GroupByte(ui, cls, kGroupIngroup);
    rec->Align2 = GroupByte(ui, cls, kGroupOutgroup);
    rec->BidiHigh = GroupByte(ui, cls, kGroupHigh);
    rec->BidiLow = GroupByte(ui, cls, kGroupLow);
    rec->FeedStep = StepCalibration(ui, job->Pass);
}

void PostJobStatus(StatusFile *file, uint8_t code, const PrintJob *job, uint16_t jobId) {
    if (file->access == StatusFileAccess::Unprepared) return;
    PrintCfgRecord rec;
    const CfgRead read = ReadStatusFile(file->folder, &rec);
    // A request already in the file when a job starts belongs to an earlier
    // job (this post binds it to the new job id), and one in a record that
    // failed its checksum was never verified: this post must not turn either
    // into a request that the next poll takes.
    if (read != CfgRead::Good || code == kPostJobStart) file->requestSerialSeen = rec.ReqSerial;
    if (code != kRequestStop) rec.StateCode = kStatePrinting;
    rec.PostedCmd = code;
    FillJobStatus(&rec, &job->prop, &job->board);
    uint16_t serial = NextStatusSerial(file->statusSerial);
    file->statusSerial = serial;
    rec.StatusSerial = serial;
    rec.JobId = jobId;
    WriteStatusFile(file->folder, &rec);
    sl_trace("PrintCfgPostStatus cmd:%d sn:%d job:%d\n", code, serial, rec.JobId);
}

}  // namespace sl

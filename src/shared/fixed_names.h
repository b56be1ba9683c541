// Names this library does not choose. Everything else is named in the
// project's own voice; the names below are fixed from outside and are kept
// exactly, whatever our own style would prefer. This header declares
// nothing: it is the one list of them and of why.
//
// The board's protocol (transport/net_codes.h, transport/packets.cpp,
// transport/parameter_block.cpp):
//   - the command codes NET_CMD_*, their debug sub-codes NET_DEBUG_* and the
//     swath answers SWATH_CREAT_*: the board's firmware and every board
//     emulator know them by these names, and the trace prints them;
//   - the packet fields at their byte offsets (SwathSN, Pstart, Pend, ...)
//     and the parameter block's fields (UISetupPara in shared/records.h:
//     PrintSpeed, Dir, SpeedValue, chantable, CurFWVersion, the alignment
//     arrays ...): the layout is the board's, and the trace lines show them
//     as "UI_CurSetting.<field>".
//
// The companion application's files (files/):
//   - the folder "c:\Prnlog" and the files "printcfg.cfg",
//     "SaveParafile.cfg" and "DotsizeFile.cfg", the shared block
//     "ShareFile": the companion opens them by name;
//   - the status record's and the parameter copy's layouts (PrintCfgRecord,
//     SPara): the companion reads and writes them at these offsets.
//
// The host's interface (include/swathlink/swathlink.h, api/):
//   - the eleven entry points InitPrinter, StartPrint, PrintALine,
//     WriteRipData, EndPrint, EndRipData, AbortPrint, PausePrint,
//     ContinuePrint, ClosePrint, ExitPrinter, and the JobProp record with its
//     field names (Signature, XDPI, YDPI, BytesPerLine, Height, Width,
//     PaperWidth, Colors, Bits, Pass, VsdMode, Reserved): RIPs are built
//     against them;
//   - the message-box captions and texts ("Error Tip", "Connect fail !" ...)
//     and the trace formats ("API_StartPrint\n", "Queue  Ready ..."): users,
//     support staff and the companion's log readers know them word for word,
//     typing errors included.
//
// Some trace texts name functions the code calls otherwise now
// ("Kt_ExcuseCommand Quit ...", "Tarn_FormatProcess360 Use ticks ..."):
// the texts stay as log readers know them. The mixed-case fields of PassInfo
// and FormatInfo are ours and may change.
#pragma once

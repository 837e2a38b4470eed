// Command ids of the menu, toolbar, keys, frame commands and the second table.
#pragma once

namespace cmd {
// Framework commands.
inline constexpr unsigned kFileNew = 57600, kFileOpen = 57601, kFileSave = 57603,
                          kFileSaveAs = 57604, kFilePrintSetup = 57606, kFilePrint = 57607,
                          kFilePrintDirect = 57608, kFilePrintPreview = 57609, kFileMru1 = 57616,
                          kAppExit = 57665, kEditCopy = 57634, kEditCut = 57635, kEditPaste = 57637,
                          kEditUndo = 57643, kViewToolbar = 59392, kViewStatusBar = 59393,
                          kAppAbout = 57664, kNextPane = 57680, kPrevPane = 57681;
// The system's own commands.
inline constexpr unsigned kConnect = 32771, kDownload210 = 32772, kUsbSettings = 32773,
                          kUsbDownloadA = 32774, kUsbUpload610 = 32775, kTervCoords210 = 32776,
                          kUpload210 = 32777, kShowCoordBlocks210 = 32778, kEditCoordList = 32779,
                          kEditCodeList = 32780, kDxfExport = 32781, kPcodeList = 32782,
                          kUploadPcode = 32783, kDownload610 = 32784, kUpload610 = 32789,
                          kUploadAlignmentB = 32790, kDownload610B = 32791, kUsbDownloadB = 32793,
                          kUsbDownloadC = 32794, kUsbUploadTextA = 32795,
                          kUsbUploadFeatures = 32796, kTervEdgeAngle610 = 32797,
                          kTervCoords610 = 32798, kUsbUploadTextB = 32799, kUploadFeatures = 32800,
                          kUploadAlignment = 32801, kUsbUploadTextC = 32802, kHelp = 32803,
                          kTervMeasurement210 = 32804, kPrismCorrect = 32806,
                          kToolbarSpare1 = 32809, kToolbarSpare2 = 32810, kModelSelector = 32813,
                          kZeltaMap = 32814;
// The point exports (文件 → 导出): the submenu and its formats.
inline constexpr unsigned kExportMenu = 32820, kExportCsv = 32821, kExportGeoJson = 32822,
                          kExportKml = 32823, kExportLandXml = 32824;
// Frame commands (a command bar's range).
inline constexpr unsigned kFrameOpen = 1026, kFrameSave = 1027, kFrameExit = 1028,
                          kFrameComSettings = 1029, kFrameDownload210 = 1030,
                          kFrameUpload210 = 1031, kFrameEditCoordList = 1032,
                          kFrameEditCodeList = 1033;
// Commands the program adds (outside the ranges above).
inline constexpr unsigned kViewPlan = 32840, kStopTransfer = 32841;
}  // namespace cmd

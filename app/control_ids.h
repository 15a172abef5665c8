// Fixed identifiers of the main window's controls and of the menu commands. Widgets carry them
// as the dynamic property "controlId", menu actions as "commandId"; tests find them by these.
#pragma once

namespace vantrel::app {

namespace control {
inline constexpr int kRxScreen = 413;
inline constexpr int kWaterfallFrame = 1678;
inline constexpr int kSyncFrameLeft = 679;
inline constexpr int kSyncFrameRight = 680;
inline constexpr int kSnrBar = 550;
inline constexpr int kAttackFrame = 1434;
inline constexpr int kAttackFast = 1431;
inline constexpr int kAttackMed = 1432;
inline constexpr int kAttackSlow = 1433;
inline constexpr int kAttackLabel = 1435;
inline constexpr int kSnrScale = 1430;
inline constexpr int kTxEntry = 430;
inline constexpr int kSendButton = 313;
inline constexpr int kRecvButton = 314;
inline constexpr int kRemainingLine = 800;
inline constexpr int kRemainingBar = 1429;
inline constexpr int kSecondaryText = 1437;  // ours: the other station's idle text
inline constexpr int kRigDial = 1438;        // ours: the radio's dial through Hamlib
inline constexpr int kInputLevel = 1439;     // ours: the input's peak level and overload warning
inline constexpr int kTuningReadout = 1440;  // ours: the tuning frequency (and RF frequency)
inline constexpr int kRecordingState = 943;  // ours: a recording playing into the receiver, or ended
}  // namespace control

namespace command {
inline constexpr int kInput = 250;
inline constexpr int kOutput = 251;
inline constexpr int kAudioControlPanel = 253;
inline constexpr int kPlayRecording = 254;  // ours: a recording into the receiver
inline constexpr int kExit = 402;
inline constexpr int kHelp = 409;
inline constexpr int kAbout = 410;
inline constexpr int kSaveRxScreen = 439;
inline constexpr int kCallsign = 502;
inline constexpr int kSquelchLevel = 604;
inline constexpr int kClearRxScreen = 906;
inline constexpr int kCaptureRange = 908;
inline constexpr int kPttSettings = 909;
inline constexpr int kRigControl = 915;  // ours: "Rig control (Hamlib)"
inline constexpr int kSensitiveReceive = 920;
inline constexpr int kTxTimeLimit = 921;      // ours: Options, "Transmit time limit..."
inline constexpr int kReceiveLog = 922;       // ours: Options, "Receive log" (checkable)
inline constexpr int kTimeStamps = 923;       // ours: Options, "Time stamps" (checkable)
inline constexpr int kSignalBrowser = 924;    // ours: Tools, "Signal browser"
inline constexpr int kTuningFrequency = 925;  // ours: Tools, "Tuning frequency..."
inline constexpr int kTransmitLevel = 926;    // ours: Options, "Transmit level..."
inline constexpr int kFirstMacro = 930;       // ours: the Macros menu's macros 1..8 (930..937)
inline constexpr int kLastMacro = 937;
inline constexpr int kEditMacros = 938;       // ours: Macros, "Edit macros..."
inline constexpr int kLogQso = 939;           // ours: "Log this QSO..."
inline constexpr int kSend = 313;
inline constexpr int kRecv = 314;
inline constexpr int kAttackFast = 1431;
inline constexpr int kAttackMed = 1432;
inline constexpr int kAttackSlow = 1433;
inline constexpr int kFirstMode = 1500;
inline constexpr int kLastMode = 1505;
}  // namespace command

}  // namespace vantrel::app

#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "protocol/frames.h"
#include "serial/serial_port.h"
#include "ui/widgets/controls.h"
#include "ui/widgets/form.h"

namespace tavel {

class CEnumSerial;
using ui::TObject;

// The tool's one window: it owns every control and all of the tool's state.
// Its handlers live in the files of the subsystems that own them.
class TForm1 : public ui::TForm {
 public:
  TForm1();
  ~TForm1() override;

  // Controls, built from the form description (ui/form_layout.cpp).
  std::unique_ptr<ui::TMemo> Memo1;
  std::unique_ptr<ui::TLed> iLedReady;
  std::unique_ptr<ui::TButton> ButExit;
  std::unique_ptr<ui::TButton> ButClear;
  std::unique_ptr<ui::TPageControl> PageControl1;
  std::unique_ptr<ui::TCheckBox> ChckBxHrdCtrl;
  std::unique_ptr<ui::TLabel> LabelPrgrsBar;
  std::unique_ptr<ui::TProgressBar> ProgressBar1;
  std::unique_ptr<ui::TButton> Open_port;
  std::unique_ptr<ui::TLabeledEdit> lblPort;
  std::unique_ptr<ui::TComboBox> ListCOMPORTS;
  std::unique_ptr<ui::TSpeedButton> SpeedButton1;
  std::unique_ptr<ui::TButton> But_Test;

  std::unique_ptr<ui::TTabSheet> ChNumSen_Sheet;
  std::unique_ptr<ui::TComboBox> ComboBoxNoSens;
  std::unique_ptr<ui::TLabeledEdit> Intrval_Lbl;
  std::unique_ptr<ui::TCheckBox> ChkBx_Gerk;
  std::unique_ptr<ui::TButton> ButChngPLLset;
  std::unique_ptr<ui::TCheckBox> sLowPowChkBx;

  std::unique_ptr<ui::TTabSheet> Ch_ID_Dev_Sheet;
  std::unique_ptr<ui::TLabeledEdit> Lbl_ID_dev;
  std::unique_ptr<ui::TButton> ButCh_ID_dev;

  std::unique_ptr<ui::TTabSheet> ChSWSheet;
  std::unique_ptr<ui::TLabel> Label1;
  std::unique_ptr<ui::TEdit> EditPathBin;
  std::unique_ptr<ui::TSpeedButton> Find_New_SW;
  std::unique_ptr<ui::TButton> ButChangeSW;

  std::unique_ptr<ui::TTabSheet> TabChPLL_SET;
  std::unique_ptr<ui::TLabel> Label2;
  std::unique_ptr<ui::TComboBox> CmbBx_Sel_sens;
  std::unique_ptr<ui::TButton> ButFill;
  std::unique_ptr<ui::TLabeledEdit> Lbl_PLLM;
  std::unique_ptr<ui::TLabeledEdit> Lbl_PLLN;
  std::unique_ptr<ui::TLabeledEdit> Lbl_PLLP;
  std::unique_ptr<ui::TLabeledEdit> Lbl_AHB_Psc;
  std::unique_ptr<ui::TLabeledEdit> Lbl_HCLK;
  std::unique_ptr<ui::TLabeledEdit> Lbl_APB1_Psc;
  std::unique_ptr<ui::TLabeledEdit> Lbl_Smpl;
  std::unique_ptr<ui::TLabeledEdit> Lbl_Full;
  std::unique_ptr<ui::TButton> ButChngFREQ;
  std::unique_ptr<ui::TSplitter> Splitter1;
  std::array<std::unique_ptr<ui::TLabeledEdit>, 6> lblParam;  // lblParam1 .. lblParam6
  std::unique_ptr<ui::TButton> ButCHEXTPARAM;

  std::unique_ptr<ui::TTimer> Timer1;
  std::unique_ptr<ui::TTimer> Timer2;
  std::unique_ptr<ui::TTimer> Timer3;
  std::unique_ptr<ui::TOpenDialog> OpenDialog1;

  // Controller state, in declaration order; owners noted.
  std::uint32_t MinRxQueue = 0;       // receive poller
  std::uint8_t PendingAction = 0;     // firmware upload; the link test reads it
  std::uint8_t* DataCursor = nullptr; // settings command, while it fills Data
  CommandFrame TxFrame;               // frames
  std::string FirmwarePath;           // firmware upload
  std::uint32_t NewDeviceId = 0;      // device ID command
  std::array<std::uint8_t, 65535> ImageBuffer{};  // firmware upload
  bool ImageLoaded = false;
  std::uint32_t ImageSize = 0;
  std::uint16_t BlockCount = 0;
  std::uint16_t BlockIndex = 0;
  std::uint16_t TestIndex = 0;        // link test
  std::array<char, 5> FrameMarker{};  // frames
  QueueStatus ComStat;                // port connection, within one send
  std::array<std::uint8_t, 3000> RxBuffer{};  // receive poller; only 0..70 written
  std::int32_t ErrorCount = 0;        // receive poller and link test
  std::uint8_t* RxFrame = nullptr;    // frames
  std::unique_ptr<CEnumSerial> EnumSerial;  // port discovery
  std::uint8_t EchoMode = 0;          // port connection
  std::tm EchoClock{};                // port connection, within one echo wait
  std::unique_ptr<SerialPort> hComPort;  // port connection; null = closed

  // Seams to the system, replaced by tests.
  std::function<OpenResult(const std::string& name)> PortOpener = OpenSerialPort;
  std::function<void(int ms)> Pause;
  std::function<std::tm()> LocalClock;

  // Main controller (app/form1.cpp).
  bool ReadyForCommand();

  // Operator window (ui/).
  void SetRussianTexts();
  void ButClearClick(TObject* Sender);
  void Intrval_LblChange(TObject* Sender);
  void Lbl_ID_devChange(TObject* Sender);

  // Port connection (serial/port_connection.cpp).
  void Open_portClick(TObject* Sender);
  std::uint8_t OpenPort(const std::string& name, std::uint32_t baudRate);
  bool IsPortOpen() const;
  void SetRts(char letter);
  void SetDtr(char letter);
  std::uint8_t ReadPortSettings(LineSettings& settings);
  std::uint8_t WritePortSettings(const LineSettings& settings);
  std::int32_t ReadPort(std::uint8_t* buffer, std::uint32_t count);
  bool Transmit(const std::uint8_t* bytes, std::uint32_t count);
  bool DrainEcho(std::uint32_t count);
  void Timer2Timer(TObject* Sender);
  void ChckBxHrdCtrlClick(TObject* Sender);
  // One short step of a wait on the line, so that waits do not spin a core.
  void WaitOnLine();

  // Port discovery (serial/port_discovery.cpp).
  void FillPortList();
  void ListCOMPORTSChange(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);

  // Frames, over TxFrame and RxBuffer (app/form1.cpp).
  std::uint16_t SealCommandFrame();
  std::uint8_t CheckResponseFrame();
  std::uint8_t CheckPayloadSum();

  // Receive poller (protocol/receive_poller.cpp).
  void Timer1Timer(TObject* Sender);
  void DispatchResponse(char code);
  void HandleRepeatRequest();
  bool WaitForFrameRest();
  void SendTxFrame();
  // Writes the frame's head, seals it and sends it; true when it went out.
  bool SendCommand(char code, std::uint16_t number, std::uint16_t length);

  // Transmission settings and device ID (operations/settings_and_id.cpp).
  void ButChngPLLsetClick(TObject* Sender);
  void ButCh_ID_devClick(TObject* Sender);

  // Clock settings and extended parameters (operations/clock_and_params.cpp).
  void ButChngFREQClick(TObject* Sender);
  void ButCHEXTPARAMClick(TObject* Sender);
  void ShowClockSettings(const std::uint8_t* payload);

  // Link test (operations/link_test.cpp).
  void But_TestClick(TObject* Sender);
  void SendTestFrame();
  void HandleTestResponse();

  // Firmware upload (operations/firmware_upload.cpp).
  void Find_New_SWClick(TObject* Sender);
  bool LoadFirmwareImage(const std::string& path);
  void ButChangeSWClick(TObject* Sender);
  void BeginUpload();
  void PrepareNextBlock();
  bool HandleUploadStart();  // true when TxFrame is to be sent
  bool HandleNextBlock();
  void HandleUploadEnded();

  // Loader mode (operations/loader_mode.cpp).
  void Timer3Timer(TObject* Sender);
  void HandleLoaderReady();
  void HandleLoaderLeft();
  void ButExitClick(TObject* Sender);
  bool ButStayBLClick(TObject* Sender);

 private:
  void CreateControls();
  void WireHandlers();
  void CentreOnScreen();
};

// The one window of the program, made by the entry.
extern std::unique_ptr<TForm1> Form1;

// Where a window of the given size goes on the given screen: each half is
// truncated first, and nothing is clamped.
struct ScreenPlace {
  int left;
  int top;
};
ScreenPlace CentredPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

}  // namespace tavel

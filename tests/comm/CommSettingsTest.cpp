// The pure mappings: properties -> line-settings record -> terminal settings,
// and line-event totals -> notices.
#include <gtest/gtest.h>

#include "CommSettings.h"
#include "LineEvents.h"
#include "PosixTermios.h"

namespace {

TCommProperties UtilityProperties() {
  TCommProperties p;
  p.BaudRate = 57600;
  p.Outx_XonXoffFlow = false;
  return p;
}

TEST(BuildCommState, DefaultsGiveFlagsWord0x1391) {
  EXPECT_EQ(BuildCommState(TDcb{}, TCommProperties{}).Flags, 0x1391u);
}

TEST(BuildCommState, UtilityValuesGiveFlagsWord0x1291AndItsLine) {
  const TDcb d = BuildCommState(TDcb{}, UtilityProperties());
  EXPECT_EQ(d.Flags, 0x1291u);
  EXPECT_EQ(d.BaudRate, 57600u);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 0);
  EXPECT_EQ(d.XonLim, 500);
  EXPECT_EQ(d.XoffLim, 500);
  EXPECT_EQ(d.XonChar, 0x11);
  EXPECT_EQ(d.XoffChar, 0x13);
  EXPECT_EQ(d.ErrorChar, 0x00);
}

struct FlagCase {
  const char* name;
  void (*apply)(TCommProperties&);
  uint32_t flags;
};

class BuildCommStateFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(BuildCommStateFlags, RebuildsTheWordFromZero) {
  // Start from a record with every bit set: nothing may survive but what the
  // properties ask for.
  TDcb dirty;
  dirty.Flags = 0xFFFFFFFF;
  TCommProperties p;
  p.DtrControl = TDtrControl::DtrDisable;
  p.RtsControl = TRtsControl::RtsDisable;
  p.TxContinueOnXoff = false;
  p.Outx_XonXoffFlow = false;
  p.Inx_XonXoffFlow = false;
  GetParam().apply(p);
  EXPECT_EQ(BuildCommState(dirty, p).Flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(
    EachProperty, BuildCommStateFlags,
    ::testing::Values(
        FlagCase{"NothingButBinary", [](TCommProperties&) {}, 0x0001},
        FlagCase{"ParityCheck", [](TCommProperties& p) { p.ParityCheck = true; }, 0x0003},
        FlagCase{"CtsFlow", [](TCommProperties& p) { p.Outx_CtsFlow = true; }, 0x0005},
        FlagCase{"DsrFlow", [](TCommProperties& p) { p.Outx_DsrFlow = true; }, 0x0009},
        FlagCase{"DtrEnable", [](TCommProperties& p) { p.DtrControl = TDtrControl::DtrEnable; },
                 0x0011},
        FlagCase{"DtrHandshake",
                 [](TCommProperties& p) { p.DtrControl = TDtrControl::DtrHandshake; }, 0x0021},
        FlagCase{"DsrSensitivity", [](TCommProperties& p) { p.DsrSensitivity = true; }, 0x0041},
        FlagCase{"TxContinueOnXoff", [](TCommProperties& p) { p.TxContinueOnXoff = true; }, 0x0081},
        FlagCase{"OutXonXoff", [](TCommProperties& p) { p.Outx_XonXoffFlow = true; }, 0x0101},
        FlagCase{"InXonXoff", [](TCommProperties& p) { p.Inx_XonXoffFlow = true; }, 0x0201},
        FlagCase{"ReplaceParityError", [](TCommProperties& p) { p.ReplaceWhenParityError = true; },
                 0x0401},
        FlagCase{"IgnoreNull", [](TCommProperties& p) { p.IgnoreNullChar = true; }, 0x0801},
        FlagCase{"RtsEnable", [](TCommProperties& p) { p.RtsControl = TRtsControl::RtsEnable; },
                 0x1001},
        FlagCase{"RtsHandshake",
                 [](TCommProperties& p) { p.RtsControl = TRtsControl::RtsHandshake; }, 0x2001},
        FlagCase{"RtsToggle",
                 [](TCommProperties& p) { p.RtsControl = TRtsControl::RtsTransmissionAvailable; },
                 0x3001}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildCommState, KeepsFieldsThePropertiesDoNotGovern) {
  TDcb current;
  current.DCBlength = 28;
  current.EofChar = 0x1A;
  current.EvtChar = 0x7E;
  current.wReserved = 3;
  current.wReserved1 = 4;
  const TDcb d = BuildCommState(current, TCommProperties{});
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.EofChar, 0x1A);
  EXPECT_EQ(d.EvtChar, 0x7E);
  EXPECT_EQ(d.wReserved, 3);
  EXPECT_EQ(d.wReserved1, 4);
}

TEST(BuildCommState, FormatFieldsFollowTheEnumerationOrdinals) {
  TCommProperties p;
  p.ByteSize = TByteSize::_5;
  p.Parity = TParity::Space;
  p.StopBits = TStopBits::_1_5;
  p.XonChar = 0x21;
  p.XoffChar = 0x23;
  p.ReplacedChar = 0x3F;
  p.XonLimit = 10;
  p.XoffLimit = 20;
  const TDcb d = BuildCommState(TDcb{}, p);
  EXPECT_EQ(d.ByteSize, 5);
  EXPECT_EQ(d.Parity, 4);
  EXPECT_EQ(d.StopBits, 1);
  EXPECT_EQ(d.XonChar, 0x21);
  EXPECT_EQ(d.XoffChar, 0x23);
  EXPECT_EQ(d.ErrorChar, 0x3F);
  EXPECT_EQ(d.XonLim, 10);
  EXPECT_EQ(d.XoffLim, 20);
}

TEST(BuildCommTimeouts, CopiesTheFiveTimeoutsInOrder) {
  TCommProperties p;
  p.ReadIntervalTimeout = 1;
  p.ReadTotalTimeoutMultiplier = 2;
  p.ReadTotalTimeoutConstant = 3;
  p.WriteTotalTimeoutMultiplier = 4;
  p.WriteTotalTimeoutConstant = 5;
  const TCommTimeouts t = BuildCommTimeouts(p);
  EXPECT_EQ(t.ReadIntervalTimeout, 1u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 2u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 3u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 4u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 5u);
}

// ---- record -> termios ----

termios Cooked() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IXANY | BRKINT | IMAXBEL;
  t.c_oflag = OPOST | ONLCR;
  t.c_cflag = CS7 | PARENB | HUPCL | CSTOPB | CRTSCTS;
  t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  return t;
}

TEST(MapDcbToTermios, UtilityRecordIsRaw57600Eight_N_OneWithInputXoffOnly) {
  const auto plan = MapDcbToTermios(BuildCommState(TDcb{}, UtilityProperties()), Cooked());
  ASSERT_TRUE(plan);
  const termios& t = plan->tio;
  EXPECT_EQ(cfgetospeed(&t), B57600);
  EXPECT_EQ(cfgetispeed(&t), B57600);
  EXPECT_EQ(plan->customRate, 0u);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(IXOFF));
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_EQ(plan->dtr, TLineAction::On);
  EXPECT_EQ(plan->rts, TLineAction::On);
}

struct TermiosCase {
  const char* name;
  void (*apply)(TCommProperties&);
  tcflag_t cflagMask, cflag;
  tcflag_t iflagMask, iflag;
};

class MapDcbToTermiosRows : public ::testing::TestWithParam<TermiosCase> {};

TEST_P(MapDcbToTermiosRows, PutsThePropertyOnTheLine) {
  TCommProperties p = UtilityProperties();
  GetParam().apply(p);
  const auto plan = MapDcbToTermios(BuildCommState(TDcb{}, p), Cooked());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->tio.c_cflag & GetParam().cflagMask, GetParam().cflag);
  EXPECT_EQ(plan->tio.c_iflag & GetParam().iflagMask, GetParam().iflag);
}

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;

INSTANTIATE_TEST_SUITE_P(
    EachProperty, MapDcbToTermiosRows,
    ::testing::Values(
        TermiosCase{"FiveBits", [](TCommProperties& p) { p.ByteSize = TByteSize::_5; }, CSIZE, CS5,
                    0, 0},
        TermiosCase{"SixBits", [](TCommProperties& p) { p.ByteSize = TByteSize::_6; }, CSIZE, CS6,
                    0, 0},
        TermiosCase{"SevenBits", [](TCommProperties& p) { p.ByteSize = TByteSize::_7; }, CSIZE, CS7,
                    0, 0},
        TermiosCase{"OddParity", [](TCommProperties& p) { p.Parity = TParity::Odd; }, kParityBits,
                    PARENB | PARODD, 0, 0},
        TermiosCase{"EvenParity", [](TCommProperties& p) { p.Parity = TParity::Even; }, kParityBits,
                    PARENB, 0, 0},
        TermiosCase{"MarkParity", [](TCommProperties& p) { p.Parity = TParity::Mark; }, kParityBits,
                    PARENB | PARODD | CMSPAR, 0, 0},
        TermiosCase{"SpaceParity", [](TCommProperties& p) { p.Parity = TParity::Space; },
                    kParityBits, PARENB | CMSPAR, 0, 0},
        TermiosCase{"ParityCheck", [](TCommProperties& p) { p.ParityCheck = true; }, 0, 0,
                    INPCK | IGNPAR | PARMRK, INPCK},
        TermiosCase{"OneAndAHalfStopBits", [](TCommProperties& p) { p.StopBits = TStopBits::_1_5; },
                    CSTOPB, CSTOPB, 0, 0},
        TermiosCase{"TwoStopBits", [](TCommProperties& p) { p.StopBits = TStopBits::_2; }, CSTOPB,
                    CSTOPB, 0, 0},
        TermiosCase{"CtsFlow", [](TCommProperties& p) { p.Outx_CtsFlow = true; }, CRTSCTS, CRTSCTS,
                    0, 0},
        TermiosCase{"RtsHandshake",
                    [](TCommProperties& p) { p.RtsControl = TRtsControl::RtsHandshake; }, CRTSCTS,
                    CRTSCTS, 0, 0},
        TermiosCase{"OutputXonXoff", [](TCommProperties& p) { p.Outx_XonXoffFlow = true; }, 0, 0,
                    IXON | IXOFF | IXANY, IXON | IXOFF},
        TermiosCase{"NoXonXoff", [](TCommProperties& p) { p.Inx_XonXoffFlow = false; }, 0, 0,
                    IXON | IXOFF | IXANY, 0},
        TermiosCase{"DsrFlowIsKeptOffTheLine", [](TCommProperties& p) { p.Outx_DsrFlow = true; },
                    CRTSCTS, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapDcbToTermios, ModemLinesFollowDtrAndRtsControl) {
  TCommProperties p;
  p.DtrControl = TDtrControl::DtrDisable;
  p.RtsControl = TRtsControl::RtsDisable;
  auto plan = MapDcbToTermios(BuildCommState(TDcb{}, p), Cooked());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->dtr, TLineAction::Off);
  EXPECT_EQ(plan->rts, TLineAction::Off);
  p.DtrControl = TDtrControl::DtrHandshake;
  p.RtsControl = TRtsControl::RtsTransmissionAvailable;
  plan = MapDcbToTermios(BuildCommState(TDcb{}, p), Cooked());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->dtr, TLineAction::On);
  EXPECT_EQ(plan->rts, TLineAction::On);
}

TEST(MapDcbToTermios, XonXoffCharactersGoToStartAndStop) {
  TCommProperties p;
  p.XonChar = 0x05;
  p.XoffChar = 0x06;
  const auto plan = MapDcbToTermios(BuildCommState(TDcb{}, p), Cooked());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->tio.c_cc[VSTART], 0x05);
  EXPECT_EQ(plan->tio.c_cc[VSTOP], 0x06);
}

TEST(MapDcbToTermios, RateWithoutBConstantIsLeftForTheArbitraryRatePath) {
  TDcb d;
  d.BaudRate = 250000;
  const auto plan = MapDcbToTermios(d, Cooked());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->customRate, 250000u);
}

TEST(MapDcbToTermios, RefusesRecordsNoLineCanCarry) {
  const auto refused = [](void (*edit)(TDcb&)) {
    TDcb d;
    edit(d);
    return !MapDcbToTermios(d, Cooked()).has_value();
  };
  EXPECT_TRUE(refused([](TDcb& d) { d.BaudRate = 0; }));  // would hang the line up
  EXPECT_TRUE(refused([](TDcb& d) { d.ByteSize = 4; }));
  EXPECT_TRUE(refused([](TDcb& d) { d.ByteSize = 9; }));
  EXPECT_TRUE(refused([](TDcb& d) { d.Parity = 5; }));
  EXPECT_TRUE(refused([](TDcb& d) { d.StopBits = 3; }));
}

TEST(SettingsHold, AcceptsOnlyWhatTheDriverRoundedWithinTwoPercent) {
  termios wanted{};
  wanted.c_cflag = CS8 | CREAD | CLOCAL;
  struct Case {
    const char* name;
    tcflag_t gotCflag;
    uint32_t input, output;
    bool holds;
  };
  const tcflag_t same = wanted.c_cflag;
  const Case cases[] = {
      {"exact", same, 57600, 57600, true},
      {"rounded 0.8 % by the divisor", same, 57143, 57143, true},
      {"rounded exactly 2 %", same, 58752, 56448, true},
      {"rounded past 2 %", same, 56000, 56000, false},
      {"input left at another rate", same, 12345, 57600, false},
      {"output left at another rate", same, 57600, 9600, false},
      {"seven data bits", (same & ~CSIZE) | CS7, 57600, 57600, false},
      {"parity added", same | PARENB, 57600, 57600, false},
      {"two stop bits", same | CSTOPB, 57600, 57600, false},
      {"hardware flow added", same | CRTSCTS, 57600, 57600, false},
      {"other flags are not compared", same | HUPCL, 57600, 57600, true},
  };
  for (const Case& c : cases) {
    termios got{};
    got.c_cflag = c.gotCflag;
    EXPECT_EQ(SettingsHold(wanted, 57600, got, c.input, c.output), c.holds) << c.name;
  }
}

TEST(MapDcbToTermios, StandardRateClearsASeparateInputRate) {
  termios current{};
  current.c_cflag = CIBAUD;  // left by an earlier custom rate
  TDcb dcb;
  dcb.BaudRate = 57600;
  const auto plan = MapDcbToTermios(dcb, current);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->tio.c_cflag & CIBAUD, 0u);
}

TEST(BaudToSpeed, StandardRatesMapBothWaysAndOthersDoNot) {
  for (uint32_t rate : {50u, 9600u, 57600u, 115200u, 4000000u})
    EXPECT_EQ(SpeedToBaud(BaudToSpeed(rate)), rate) << rate;
  EXPECT_EQ(BaudToSpeed(250000), 0u);
  EXPECT_EQ(BaudToSpeed(0), 0u);
}

// ---- line-event totals -> notices ----

TEST(DiffLineSnapshot, EachCounterRaisesItsOwnFlag) {
  struct Case {
    uint32_t TLineSnapshot::*counter;
    uint32_t errors;
    uint32_t modem;
  };
  const Case cases[] = {
      {&TLineSnapshot::bufOverrun, line_error::kRxOver, 0},
      {&TLineSnapshot::overrun, line_error::kOverrun, 0},
      {&TLineSnapshot::parity, line_error::kRxParity, 0},
      {&TLineSnapshot::frame, line_error::kFrame, 0},
      {&TLineSnapshot::brk, line_error::kBreak, 0},
      {&TLineSnapshot::dcd, 0, modem_event::kCarrierDetect},
      {&TLineSnapshot::rng, 0, modem_event::kRing},
  };
  for (const Case& c : cases) {
    TLineSnapshot before, after;
    after.*c.counter = 3;
    const TLineChange change = DiffLineSnapshot(before, after);
    EXPECT_EQ(change.errors, c.errors);
    EXPECT_EQ(change.modemEvents, c.modem);
  }
  const TLineChange none = DiffLineSnapshot(TLineSnapshot{}, TLineSnapshot{});
  EXPECT_EQ(none.errors, 0u);
  EXPECT_EQ(none.modemEvents, 0u);
}

}  // namespace

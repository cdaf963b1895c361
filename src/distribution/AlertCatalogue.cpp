#include "distribution/AlertCatalogue.h"

#include <mutex>

#include "framework/GenericNode.h"

namespace tarnwell {
namespace {

using R = TAlertTypeRow;

// Rows of one family share a background; the two rows of an up and down pair differ by a green and a red, in
// the text or in the background; among the candle patterns the style tells the bar width (5 minutes plain, 10
// bold, 15 italic, 30 bold italic).
constexpr TAlertTypeRow kRows[] = {
    {"NewHigh", "NHP", "New Highs", 0xFFFFFF, 0x008000, 0, agMisc, false},
    {"NewHighAsk", "NHA", "New High Ask", 0xFFFFFF, 0x008000, 0, agMisc, false},
    {"NewLow", "NLP", "New Lows", 0xFFFFFF, 0xFF0000, 0, agMisc, false},
    {"NewLowBid", "NLB", "New Low Bid", 0xFFFFFF, 0xFF0000, 0, agMisc, false},
    {"CrossedAboveClose", "CAC", "Above Close", 0x008000, 0x000000, 0, agMisc, false},
    {"CrossedBelowClose", "CBC", "Below Close", 0xFF0000, 0x000000, 0, agMisc, false},
    {"CrossedAboveOpen", "CAO", "Above Open", 0x008000, 0x000000, 0, agMisc, false},
    {"CrossedBelowOpen", "CBO", "Below Open", 0xFF0000, 0x000000, 0, agMisc, false},
    {"Consolidation", "C", "Consolidation", 0x000000, 0xC0C0FF, 0, agVolumeConfirmed, false},
    {"HighRelativeVolume", "HRV", "High Rel. Volume", 0x000000, 0xFFC080, 0, agVolumeConfirmed, false},
    {"NewHighFiltered", "NHPF", "New Highs (F)", 0xE0E0E0, 0x008000, R::kItalic, agMisc, false},
    {"NewHighAskFiltered", "NHAF", "New High Ask (F)", 0xE0E0E0, 0x008000, R::kItalic, agMisc, false},
    {"NewLowFiltered", "NLPF", "New Lows (F)", 0xE0E0E0, 0xFF0000, R::kItalic, agMisc, false},
    {"NewLowBidFiltered", "NLBF", "New Low Bid (F)", 0xE0E0E0, 0xFF0000, R::kItalic, agMisc, false},
    {"CrossedAboveCloseConfirmed", "CACC", "Above Close (C)", 0x008000, 0x000000, R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedBelowCloseConfirmed", "CBCC", "Below Close (C)", 0xFF0000, 0x000000, R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedAboveOpenConfirmed", "CAOC", "Above Open (C)", 0x008000, 0x000000, R::kItalic, agVolumeConfirmed,
     false},
    {"CrossedBelowOpenConfirmed", "CBOC", "Below Open (C)", 0xFF0000, 0x000000, R::kItalic, agVolumeConfirmed,
     false},
    {"RunningUp", "RU", "Running Up", 0x008000, 0xFFFFFF, 0, agMisc, false},
    {"RunningDown", "RD", "Running Down", 0xFF0000, 0xFFFFFF, 0, agMisc, false},
    {"RunningUpConfirmed", "RUC", "Running Up (C)", 0x008000, 0xFFFFFF, R::kItalic, agVolumeConfirmed, false},
    {"RunningDownConfirmed", "RDC", "Running Down (C)", 0xFF0000, 0xFFFFFF, R::kItalic, agVolumeConfirmed,
     false},
    {"CrossedAboveVWAP", "CAVC", "Above VWAP", 0x008000, 0xFFFF00, R::kBold | R::kItalic, agVolumeConfirmed,
     true},
    {"CrossedBelowVWAP", "CBVC", "Below VWAP", 0xFF0000, 0xFFFF00, R::kBold | R::kItalic, agVolumeConfirmed,
     true},
    {"CrossedAbove200Day", "CA200", "Above 200 Day", 0x008000, 0xFFFF00, R::kBold | R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedBelow200Day", "CB200", "Below 200 Day", 0xFF0000, 0xFFFF00, R::kBold | R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedAbove50Day", "CA50", "Above 50 Day", 0x008000, 0xFFFF00, R::kBold | R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedBelow50Day", "CB50", "Below 50 Day", 0xFF0000, 0xFFFF00, R::kBold | R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedAbove20Day", "CA20", "Above 20 Day", 0x008000, 0xFFFF00, R::kBold | R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedBelow20Day", "CB20", "Below 20 Day", 0xFF0000, 0xFFFF00, R::kBold | R::kItalic,
     agVolumeConfirmed, false},
    {"NewDay", "DAY", "New Day", 0x000000, 0xFFFFFF, R::kBold, agManualOnly, false},
    {"ChannelBreakoutConfirmed", "CHBOC", "Ch Breakout (C)", 0x008000, 0xC0C0FF, R::kBold | R::kUnderline,
     agVolumeConfirmed, false},
    {"ChannelBreakdownConfirmed", "CHBDC", "Ch Breakdown (C)", 0xFF0000, 0xC0C0FF, R::kBold | R::kUnderline,
     agVolumeConfirmed, false},
    {"NewHighBidFiltered", "NHBF", "New High Bid (F)", 0xE0E0E0, 0x008000, R::kItalic, agMisc, false},
    {"NewLowAskFiltered", "NLAF", "New Low Ask (F)", 0xE0E0E0, 0xFF0000, R::kItalic, agMisc, false},
    {"GapDownReversal", "GDR", "Gap Dn Reversal", 0xFF0000, 0xE0E0FF, 0, agMisc, false},
    {"GapUpReversal", "GUR", "Gap Up Reversal", 0x008000, 0xE0E0FF, 0, agMisc, false},
    {"ChannelBreakout", "CHBO", "Ch Breakout", 0x008000, 0xC0C0FF, R::kBold | R::kItalic | R::kUnderline,
     agVolumeConfirmed, false},
    {"ChannelBreakdown", "CHBD", "Ch Breakdown", 0xFF0000, 0xC0C0FF, R::kBold | R::kItalic | R::kUnderline,
     agVolumeConfirmed, false},
    {"BlockPrint", "BP", "Block Print", 0x000000, 0xFFC080, 0, agMisc, false},
    {"NyseArb", "NARB", "NYSE Arb", 0x000000, 0xFFE0C0, R::kBold, agManualOnly, false},
    {"NyseArbEnd", "NARBE", "NYSE Arb End", 0x000000, 0xFFE0C0, 0, agManualOnly, false},
    {"GapRetracementArcUp", "FGUR", "False Gap Up Retr", 0xFF0000, 0xE0E0FF, R::kItalic, agMisc, false},
    {"GapRetracementArcDown", "FGDR", "False Gap Dn Retr", 0x008000, 0xE0E0FF, R::kItalic, agMisc, false},
    {"MarketLocked", "ML", "Market Locked", 0x000000, 0xFFE0C0, 0, agMisc, false},
    {"MarketCrossed", "MC", "Market Crossed", 0x000000, 0xFFE0C0, R::kItalic, agMisc, false},
    {"CrossedAboveResistanceConfirmed", "CARC", "Cr Above Resist (C)", 0x008000, 0xC0FFC0, R::kItalic,
     agVolumeConfirmed, false},
    {"CrossedBelowSupportConfirmed", "CBSC", "Cr Below Support (C)", 0xFF0000, 0xC0FFC0, R::kItalic,
     agVolumeConfirmed, false},
    {"TriangleBottom", "GTBOT", "Triangle Bottom", 0x00FF00, 0x4040FF, 0, agVolumeConfirmed, true},
    {"TriangleTop", "GTTOP", "Triangle Top", 0xFF0000, 0x4040FF, 0, agVolumeConfirmed, false},
    {"1MinHigh", "IDH1", "1 Minute Highs", 0x00FF00, 0x633605, R::kBold, agManualOnly, false},
    {"1MinLow", "IDL1", "1 Minute Lows", 0xFF0000, 0x633605, R::kBold, agManualOnly, false},
    {"5MinHigh", "IDH5", "5 Minute Highs", 0x00FF00, 0x633605, R::kBold, agMisc, false},
    {"5MinLow", "IDL5", "5 Minute Lows", 0xFF0000, 0x633605, R::kBold, agMisc, false},
    {"10MinHigh", "IDH10", "10 Minute Highs", 0x00FF00, 0x633605, R::kBold, agMisc, false},
    {"10MinLow", "IDL10", "10 Minute Lows", 0xFF0000, 0x633605, R::kBold, agMisc, false},
    {"15MinHigh", "IDH15", "15 Minute Highs", 0x00FF00, 0x633605, R::kBold, agMisc, false},
    {"15MinLow", "IDL15", "15 Minute Lows", 0xFF0000, 0x633605, R::kBold, agMisc, false},
    {"30MinHigh", "IDH30", "30 Minute Highs", 0x00FF00, 0x633605, R::kBold, agMisc, false},
    {"30MinLow", "IDL30", "30 Minute Lows", 0xFF0000, 0x633605, R::kBold, agMisc, false},
    {"60MinHigh", "IDH60", "60 Minute Highs", 0x00FF00, 0x633605, R::kBold, agMisc, false},
    {"60MinLow", "IDL60", "60 Minute Lows", 0xFF0000, 0x633605, R::kBold, agMisc, false},
    {"BroadeningTop", "GBTOP", "Broadening Top", 0xFF0000, 0x4040FF, 0, agVolumeConfirmed, true},
    {"BroadeningBottom", "GBBOT", "Broadening Bottom", 0x00FF00, 0x4040FF, 0, agVolumeConfirmed, true},
    {"RectangleTop", "GRTOP", "Rectangle Top", 0xFF0000, 0x4040FF, 0, agVolumeConfirmed, true},
    {"RectangleBottom", "GRBOT", "Rectangle Bottom", 0x00FF00, 0x4040FF, 0, agVolumeConfirmed, true},
    {"InvertedHeadAndShoulders", "GHASI", "Inv Head and Sh", 0x00FF00, 0x4040FF, 0, agVolumeConfirmed, true},
    {"HeadAndShoulders", "GHAS", "Head And Sh", 0xFF0000, 0x4040FF, 0, agVolumeConfirmed, true},
    {"DoubleBottom", "GDBOT", "Double Bottom", 0x00FF00, 0x4040FF, 0, agVolumeConfirmed, true},
    {"DoubleTop", "GDTOP", "Double Top", 0xFF0000, 0x4040FF, 0, agVolumeConfirmed, true},
    {"LargeAskSize", "LAS", "Large Ask Size", 0x12570B, 0x5EFC4E, 0, agLowVolume, false},
    {"LargeBidSize", "LBS", "Large Bid Size", 0x570B0B, 0xFF9191, 0, agLowVolume, false},
    {"CrossedAboveResistance", "CAR", "Cr Above Resist", 0x008000, 0xC0FFC0, 0, agVolumeConfirmed, false},
    {"CrossedBelowSupport", "CBS", "Cr Below Support", 0xFF0000, 0xC0FFC0, 0, agVolumeConfirmed, false},
    {"PullbackFromLows75", "PFL75", "75% PB From Lows", 0x008000, 0xFFFF80, 0, agMisc, false},
    {"PullbackFromLows25", "PFL25", "25% PB From Lows", 0x008000, 0xFFFF80, R::kItalic, agMisc, false},
    {"PullbackFromHighs75", "PFH75", "75% PB From Highs", 0xFF0000, 0xFFFF80, 0, agMisc, false},
    {"PullbackFromHighs25", "PFH25", "25% PB From Highs", 0xFF0000, 0xFFFF80, R::kItalic, agMisc, false},
    {"PercentUpForDay", "PUD", "% up for the Day", 0x008000, 0xE0FFFF, 0, agMisc, false},
    {"PercentDownForDay", "PDD", "% down for the Day", 0xFF0000, 0xE0FFFF, 0, agMisc, false},
    {"StrongVolume", "SV", "Strong Volume", 0x000000, 0xFFC080, 0, agMisc, false},
    {"FibBuy79", "FU79", "Fib Buy 79%", 0x007B00, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibSell79", "FD79", "Fib Sell 79%", 0x7B0000, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibBuy62", "FU62", "Fib Buy 62%", 0x007B00, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibSell62", "FD62", "Fib Sell 62%", 0x7B0000, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibBuy50", "FU50", "Fib Buy 50%", 0x007B00, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibSell50", "FD50", "Fib Sell 50%", 0x7B0000, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibBuy38", "FU38", "Fib Buy 38%", 0x007B00, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"FibSell38", "FD38", "Fib Sell 38%", 0x7B0000, 0x00FFFF, 0, agVolumeConfirmed, false},
    {"CheckMark", "CMU", "Check Mark", 0x008000, 0xFFFF80, R::kBold, agMisc, false},
    {"InvertedCheckMark", "CMD", "Inverted Check Mark", 0xFF0000, 0xFFFF80, R::kBold, agMisc, false},
    {"RunningUpIntermediate", "RUI", "Running Up (I)", 0x008000, 0xFFFFFF, R::kBold, agMisc, false},
    {"RunningDownIntermediate", "RDI", "Running Down (I)", 0xFF0000, 0xFFFFFF, R::kBold, agMisc, false},
    {"SectorBreakoutOpen", "SBOO", "Sector Breakout (O)", 0x008000, 0xFFC0FF, 0, agMisc, false},
    {"SectorBreakdownOpen", "SBDO", "Sector Breakdown (O)", 0xFF0000, 0xFFC0FF, 0, agMisc, false},
    {"SectorBreakoutClose", "SBOC", "Sector Breakout (C)", 0x008000, 0xFFC0FF, R::kItalic, agMisc, false},
    {"SectorBreakdownClose", "SBDC", "Sector Breakdown (C)", 0xFF0000, 0xFFC0FF, R::kItalic, agMisc, false},
    {"PositiveFuturesDivergence", "FDP", "Futures Divergence +", 0x008000, 0xFFC0FF, R::kBold, agMisc, false},
    {"NegativeFuturesDivergence", "FDN", "Futures Divergence -", 0xFF0000, 0xFFC0FF, R::kBold, agMisc, false},
    {"CrossedDailyHighsResistance", "CDHR", "New Highs Resistance", 0xFFFFFF, 0x008000, R::kBold, agMisc,
     false},
    {"CrossedDailyLowsSupport", "CDLS", "New Lows Support", 0xFFFFFF, 0xFF0000, R::kBold, agMisc, false},
    {"Heartbeat", "HB", "Heartbeat", 0xFFFFFF, 0xFF8080, 0, agMisc, false},
    {"TTrailingStopUpPercent", "TSPU", "Trailing Stop Up %", 0xA6F6A6, 0x950E07, 0, agMisc, false},
    {"TTrailingStopDownPercent", "TSPD", "Trailing Stop Down %", 0xF6A6A6, 0x950E07, 0, agMisc, false},
    {"TTrailingStopUpSigma", "TSSU", "Trailing Stop Up S", 0xA6F6A6, 0x950E07, R::kItalic, agMisc, false},
    {"TTrailingStopDownSigma", "TSSD", "Trailing Stop Down S", 0xF6A6A6, 0x950E07, R::kItalic, agMisc, false},
    {"OpeningRangeBreakout5", "ORU5", "Opening Range Up 5", 0x008000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakdown5", "ORD5", "Opening Range Dn 5", 0xFF0000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakout10", "ORU10", "Opening Range Up 10", 0x008000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakdown10", "ORD10", "Opening Range Dn 10", 0xFF0000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakout15", "ORU15", "Opening Range Up 15", 0x008000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakdown15", "ORD15", "Opening Range Dn 15", 0xFF0000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakout30", "ORU30", "Opening Range Up 30", 0x008000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakdown30", "ORD30", "Opening Range Dn 30", 0xFF0000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakout60", "ORU60", "Opening Range Up 60", 0x008000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakdown60", "ORD60", "Opening Range Dn 60", 0xFF0000, 0xFFFFC0, 0, agMisc, false},
    {"BrightBandsUp", "BBU", "Bright Bands Up", 0x008000, 0xE0FFFF, R::kBold, agMisc, false},
    {"BrightBandsDown", "BBD", "Bright Bands Dn", 0xFF0000, 0xE0FFFF, R::kBold, agMisc, false},
    {"OpeningRangeBreakout1", "ORU1", "Opening Range Up 1", 0x008000, 0xFFFFC0, 0, agMisc, false},
    {"OpeningRangeBreakdown1", "ORD1", "Opening Range Dn 1", 0xFF0000, 0xFFFFC0, 0, agMisc, false},
    {"PreMarketHigh", "HPRE", "Pre-market High", 0xFFFFFF, 0x008000, R::kUnderline, agMisc, false},
    {"PreMarketLow", "LPRE", "Pre-market Low", 0xFFFFFF, 0xFF0000, R::kUnderline, agMisc, false},
    {"PostMarketHigh", "HPOST", "Post-market High", 0xFFFFFF, 0x008000, R::kBold | R::kUnderline, agMisc,
     false},
    {"PostMarketLow", "LPOST", "Post-market Low", 0xFFFFFF, 0xFF0000, R::kBold | R::kUnderline, agMisc,
     false},
    {"PtsEntryUp5", "PEU5", "PTS Up 5 Min", 0x008000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryDown5", "PED5", "PTS Down 5 Min", 0xFF0000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryUp15", "PEU15", "PTS Up 15 Min", 0x008000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryDown15", "PED15", "PTS Down 15 Min", 0xFF0000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryUp30", "PEU30", "PTS Up 30 Min", 0x008000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryDown30", "PED30", "PTS Down 30 Min", 0xFF0000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryUp90", "PEU90", "PTS Up 90 Min", 0x008000, 0xD0D0D0, 0, agMisc, false},
    {"PtsEntryDown90", "PED90", "PTS Down 90 Min", 0xFF0000, 0xD0D0D0, 0, agMisc, false},
    {"VwapDivergenceUp", "VDU", "VWAP Divergence Up", 0x008000, 0xD0D0D0, R::kItalic, agMisc, false},
    {"VwapDivergenceDown", "VDD", "VWAP Divergence Down", 0xFF0000, 0xD0D0D0, R::kItalic, agMisc, false},
    {"SteppingDown", "SD", "Stepping Down", 0xFF0000, 0xFFE0C0, R::kBold, agMisc, false},
    {"TradingAbove", "TRA", "Trading Above", 0x008000, 0xFFE0C0, 0, agMisc, false},
    {"TradingBelow", "TRB", "Trading Below", 0xFF0000, 0xFFE0C0, 0, agMisc, false},
    {"MarketCrossedUp", "MCU", "Crossed Up", 0x008000, 0xFFE0C0, R::kItalic, agMisc, false},
    {"MarketCrossedDown", "MCD", "Crossed Down", 0xFF0000, 0xFFE0C0, R::kItalic, agMisc, false},
    {"NR7-15", "NR7", "NR7", 0x000000, 0xD0D0D0, R::kBold, agMisc, false},
    {"UnusualNumberOfPrints", "UNOP", "Unusual # of Prints", 0x000000, 0xFFC080, 0, agMisc, false},
    {"LargeSpread", "LSP", "Large Spread", 0x000000, 0xFFE0C0, R::kUnderline, agMisc, false},
    {"Doji-5", "DOJ5", "Doji 5 Min", 0x19FF9B, 0xFFFFFF, 0, agMisc, false},
    {"Doji-10", "DOJ10", "Doji 10 Min", 0x19FF9B, 0xFFFFFF, R::kBold, agMisc, false},
    {"Doji-15", "DOJ15", "Doji 15 Min", 0x19FF9B, 0xFFFFFF, R::kItalic, agMisc, false},
    {"Doji-30", "DOJ30", "Doji 30 Min", 0x19FF9B, 0xFFFFFF, R::kBold | R::kItalic, agMisc, false},
    {"TraditionalChannelBreakout-5", "CBO5", "Ch Breakout 5", 0x008000, 0xFFFFFF, 0, agMisc, false},
    {"TraditionalChannelBreakdown-5", "CBD5", "Ch Breakdown 5", 0xFF0000, 0xFFFFFF, 0, agMisc, false},
    {"TraditionalChannelBreakout-10", "CBO10", "Ch Breakout 10", 0x008000, 0xFFFFFF, R::kBold, agMisc, false},
    {"TraditionalChannelBreakdown-10", "CBD10", "Ch Breakdown 10", 0xFF0000, 0xFFFFFF, R::kBold, agMisc,
     false},
    {"TraditionalChannelBreakout-15", "CBO15", "Ch Breakout 15", 0x008000, 0xFFFFFF, R::kItalic, agMisc,
     false},
    {"TraditionalChannelBreakdown-15", "CBD15", "Ch Breakdown 15", 0xFF0000, 0xFFFFFF, R::kItalic, agMisc,
     false},
    {"TraditionalChannelBreakout-30", "CBO30", "Ch Breakout 30", 0x008000, 0xFFFFFF, R::kBold | R::kItalic,
     agMisc, false},
    {"TraditionalChannelBreakdown-30", "CBD30", "Ch Breakdown 30", 0xFF0000, 0xFFFFFF, R::kBold | R::kItalic,
     agMisc, false},
    {"TradingAboveSpecialist", "TRAS", "Trading Above Specialist", 0x008000, 0xFFE0C0, R::kBold, agMisc,
     false},
    {"TradingBelowSpecialist", "TRBS", "Trading Below Specialist", 0xFF0000, 0xFFE0C0, R::kBold, agMisc,
     false},
    {"Hammer-5", "HMR5", "Hammer 5", 0x008000, 0xFFFFFF, 0, agMisc, false},
    {"Hammer-10", "HMR10", "Hammer 10", 0x008000, 0xFFFFFF, R::kBold, agMisc, false},
    {"Hammer-15", "HMR15", "Hammer 15", 0x008000, 0xFFFFFF, R::kItalic, agMisc, false},
    {"Hammer-30", "HMR30", "Hammer 30", 0x008000, 0xFFFFFF, R::kBold | R::kItalic, agMisc, false},
    {"HangingMan-5", "HGM5", "Hanging Man 5", 0xFF0000, 0xFFFFFF, 0, agMisc, false},
    {"HangingMan-10", "HGM10", "Hanging Man 10", 0xFF0000, 0xFFFFFF, R::kBold, agMisc, false},
    {"HangingMan-15", "HGM15", "Hanging Man 15", 0xFF0000, 0xFFFFFF, R::kItalic, agMisc, false},
    {"HangingMan-30", "HGM30", "Hanging Man 30", 0xFF0000, 0xFFFFFF, R::kBold | R::kItalic, agMisc, false},
    {"BullishEngulfing-5", "NGU5", "Bullish Engulfing 5", 0x008000, 0xFFFFFF, 0, agMisc, false},
    {"BullishEngulfing-10", "NGU10", "Bullish Engulfing 10", 0x008000, 0xFFFFFF, R::kBold, agMisc, false},
    {"BullishEngulfing-15", "NGU15", "Bullish Engulfing 15", 0x008000, 0xFFFFFF, R::kItalic, agMisc, false},
    {"BullishEngulfing-30", "NGU30", "Bullish Engulfing 30", 0x008000, 0xFFFFFF, R::kBold | R::kItalic,
     agMisc, false},
    {"BearishEngulfing-5", "NGD5", "Bearish Engulfing 5", 0xFF0000, 0xFFFFFF, 0, agMisc, false},
    {"BearishEngulfing-10", "NGD10", "Bearish Engulfing 10", 0xFF0000, 0xFFFFFF, R::kBold, agMisc, false},
    {"BearishEngulfing-15", "NGD15", "Bearish Engulfing 15", 0xFF0000, 0xFFFFFF, R::kItalic, agMisc, false},
    {"BearishEngulfing-30", "NGD30", "Bearish Engulfing 30", 0xFF0000, 0xFFFFFF, R::kBold | R::kItalic,
     agMisc, false},
    {"PiercingPattern-5", "PP5", "Piercing Pattern 5", 0x008000, 0xFFFFFF, 0, agMisc, false},
    {"PiercingPattern-10", "PP10", "Piercing Pattern 10", 0x008000, 0xFFFFFF, R::kBold, agMisc, false},
    {"PiercingPattern-15", "PP15", "Piercing Pattern 15", 0x008000, 0xFFFFFF, R::kItalic, agMisc, false},
    {"PiercingPattern-30", "PP30", "Piercing Pattern 30", 0x008000, 0xFFFFFF, R::kBold | R::kItalic, agMisc,
     false},
    {"DarkCloudCover-5", "DCC5", "Dark Cloud Cover 5", 0xFF0000, 0xFFFFFF, 0, agMisc, false},
    {"DarkCloudCover-10", "DCC10", "Dark Cloud Cover 10", 0xFF0000, 0xFFFFFF, R::kBold, agMisc, false},
    {"DarkCloudCover-15", "DCC15", "Dark Cloud Cover 15", 0xFF0000, 0xFFFFFF, R::kItalic, agMisc, false},
    {"DarkCloudCover-30", "DCC30", "Dark Cloud Cover 30", 0xFF0000, 0xFFFFFF, R::kBold | R::kItalic, agMisc,
     false},
};
static_assert(std::size(kRows) == 180);

}  // namespace

std::unique_ptr<TVisualAlertCategory> TVisualAlertCategory::CopyOf(const TVisualAlertCategory& source) {
  auto copy = std::make_unique<TVisualAlertCategory>(source.Factory());
  copy->Foreground = source.Foreground;
  copy->Background = source.Background;
  copy->Bold = source.Bold;
  copy->Italic = source.Italic;
  copy->Underline = source.Underline;
  copy->ShortName = source.ShortName;
  return copy;
}

std::span<const TAlertTypeRow> AlertTypeRows() {
  return kRows;
}

const TAlertTypeRow* FindAlertTypeRow(std::string_view internalName) {
  for (const TAlertTypeRow& row : kRows) {
    if (internalName == row.InternalName) return &row;
  }
  return nullptr;
}

const TAllAlertTypes& GetAllAlertTypes() {
  static std::mutex lock;
  static TAllAlertTypes catalogue;
  std::lock_guard guard(lock);
  if (!catalogue.empty()) return catalogue;
  TAllAlertTypes built;
  built.reserve(std::size(kRows));
  for (const TAlertTypeRow& row : kRows) {
    TAlertTypeEntry entry;
    entry.Category = std::make_unique<TVisualAlertCategory>(FindFactory(row.InternalName));
    TVisualAlertCategory& category = *entry.Category;
    category.ShortName = row.ShortName;
    category.Foreground = ColorOfRgb(row.ForegroundRgb);
    category.Background = ColorOfRgb(row.BackgroundRgb);
    category.Bold = row.Style & R::kBold;
    category.Italic = row.Style & R::kItalic;
    category.Underline = row.Style & R::kUnderline;
    category.DisplayName = row.DisplayName;
    entry.Group = row.Group;
    entry.LateStart = row.LateStart;
    built.push_back(std::move(entry));
  }
  // Only a complete catalogue is kept: a missing factory fails again at the next use instead of leaving a
  // catalogue with holes.
  catalogue = std::move(built);
  return catalogue;
}

}  // namespace tarnwell

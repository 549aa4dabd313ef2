// What the door lock test dialog does away from its widgets: the stay it offers when it opens,
// and the issue of a guest card from the texts an operator typed in.
//
// The issue follows the card issue request's rules with three differences: the typed times are
// used as they stand (no DelayMinutes or DelayMinutes2 widening), the room key is formed and
// recorded in every case, and the guest is the fixed "Test" with an empty registration id.
//
// Thread safety: IssueTestCard reaches the process-wide Doorlock and DoorlockRecordManager,
// both serialised, and reads SysOption, which nothing changes while the host serves; it may run
// while connection threads issue cards. The dialog calls it on the main thread.
#pragma once

#include <string>

#include "platform/DateTime.h"

// The two time boxes' initial texts for a dialog opened at `now`: one hour earlier and two days
// later, both "YYYY-MM-DD HH:NN:SS".
struct TTestStay {
  std::string CheckIn;
  std::string CheckOut;
};
TTestStay InitialTestStay(TDateTime now);

// A card as the operator typed it.
struct TTestCard {
  std::string RoomBuildingCode;
  std::string RoomFloorCode;
  std::string RoomNo;
  std::string CheckInText;
  std::string CheckOutText;
  bool IsCopy = false;
};

// Issues the card. Both time texts are converted first, check-in then check-out; a text that
// does not convert throws EConvertError before the device or the store is touched.
//
// The card starts at the check-in time as typed; with UseNativeDoorlockDb on, a new card starts
// at the moment of issue less DelayMinutes, and a copy card at the room's kept time (when the
// room has none, at the moment of issue less DelayMinutes, which is kept for the room at once,
// before the card is written). After a new card was encoded with UseNativeDoorlockDb on, its
// start becomes the room's time. With SaveDoorlockRecord on, every attempt is recorded,
// whether or not the device encoded a card (card number 0 then).
//
// True when the device encoded the card.
bool IssueTestCard(const TTestCard& card);

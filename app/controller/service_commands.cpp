// The service panel's file commands: open a packed image, unpack it, pack the region back,
// fetch the library's images, and show identities.
#include <cstring>
#include <string>

#include "control_ids.h"
#include "controller.h"
#include "penwick/local_file.hpp"
#include "penwick/message_box.hpp"
#include "transfer_file.h"

namespace app {

bool UploadController::SaveServiceFile(const char* prefix, const char* name, const uint8_t* data,
                                       size_t size) {
  const std::string path = pw::files::PathIn(state_->workDir, std::string(prefix) + name);
  const std::string error = pw::files::ReplaceFile(path, {std::span<const uint8_t>(data, size)});
  if (error.empty()) return true;
  AddMessage("%s", error.c_str());
  view_.MessageBox("Cannot Create or Open File!", "Notice", pw::kMbOk | pw::kMbIconError);
  return false;
}

void UploadController::OnFileOpen() {
  ControllerState& s = *state_;
  const auto chosen =
      view_.ChooseFileToOpen(s.initialDir, "Packed Files (*.pak)|*.pak|All Files (*.*)|*.*||");
  if (!chosen) return;
  const TransferFileRead read = ReadImages(*chosen, 0, s.packed.data(), nullptr);
  if (!ShowPackedRead(read)) return;
  s.fileLoaded = true;
}

void UploadController::OnUnpackFlashdata() {
  ControllerState& s = *state_;
  if (!s.fileLoaded) {
    AddMessage("OnUnpackFlashdata() : Call Dll_GetPackedFlashData()");
    if (libs_.GetPackedFlashData(s.packed.data()) == 0) {
      AddMessage("OnUnpackflashdata() : Dll_GetPackedFlashData(m_PackedFlashData) == FALSE");
      return;
    }
  }
  if (!UnpackCopy()) {
    AddMessage(
        "OnUnpackflashdata() : Dll_UnPackFlashData(m_PackedFlashData,m_UnPackedFlashData) ==> "
        "False");
    return;
  }
  if (SaveServiceFile("~Pack2UnPack_", "UnPackedFlashData.upk", s.unpacked.data(),
                      codec::kRegionSize))
    AddMessage("UnPackedFlash File Save Ok");
  view_.EnableControl(kPackFlash, true);
}

void UploadController::OnPackFlashData() {
  ControllerState& s = *state_;
  if (libs_.PackFlashData(s.unpacked.data(), s.packed.data()) == 0) {
    AddMessage("OnPackflashdata() : Dll_PackFlashData(src,dest) == FALSE");
    return;
  }
  AddMessage("OnPackFlashData() : Dll_PackFlashData(src,dest) == TRUE");
  const bool saved = SaveServiceFile("~UnPack2Pack_", "PackedFlashData.pak", s.packed.data(),
                                     codec::kContainerSize);
  AddMessage(saved ? "PackedFlash File Save Success" : "PackedFlash File Save Fail");
}

void UploadController::OnGetPackedFlashData() {
  ControllerState& s = *state_;
  if (libs_.GetPackedFlashData(s.packed.data()) == 0) {
    AddMessage("OnPackflashdata() : Dll_GetPackedFlashData(m_PackedFlashData) == FALSE");
    return;
  }
  libs_.GetModelIdFromPackedFlashData(s.packed.data(), s.modelId.data());
  if (SaveServiceFile("~Dll2Pack_", "PackedFlashData.pak", s.packed.data(), codec::kContainerSize))
    AddMessage("OnPackflashdata() : PackedFlash File Save Ok");
}

void UploadController::OnGeteepromdata() {
  ControllerState& s = *state_;
  if (libs_.GetEepromData(s.eeprom.data()) == 0) {
    AddMessage("OnGeteepromdata() : Dll_GetEepromData(m_EepromData) == FALSE");
    return;
  }
  if (SaveServiceFile("~", "EepromData.bin", s.eeprom.data(), codec::kEepromSize))
    AddMessage("OnGeteepromdata() : Eeprom File Save Ok");
}

void UploadController::OnViewModelId() {
  ControllerState& s = *state_;
  if (s.fileLoaded) {
    AddMessage("Get Model ID From PackedFlashData ===================================");
    libs_.GetModelIdFromPackedFlashData(s.packed.data(), s.modelId.data());
  } else {
    AddMessage("Get Model ID From STB ===================================");
    libs_.GetModelId(s.modelId.data());
  }
  ViewModelId();
}

void UploadController::ViewModelId() {
  ControllerState& s = *state_;
  const unsigned systemId =
      s.fileLoaded ? libs_.GetSystemIdFromPackedFlashData(s.packed.data()) : libs_.GetSystemId();
  char entry[160];
  int at =
      std::snprintf(entry, sizeof entry,
                    "ViewModelId() SystemId %d ModeId : ", static_cast<int>(systemId & 0xFFFF));
  for (uint8_t byte : s.modelId) {
    at += std::snprintf(entry + at, sizeof entry - static_cast<size_t>(at), " %02X", byte);
  }
  AddMessage("%s", entry);
}

void UploadController::OnViewSystemId() {
  ControllerState& s = *state_;
  if (s.fileLoaded) {
    AddMessage("System ID from PackedFlash Data: %d",
               static_cast<int>(libs_.GetSystemIdFromPackedFlashData(s.packed.data())));
  } else {
    AddMessage("System ID From STB: %d", static_cast<int>(libs_.GetSystemId()));
  }
}

}  // namespace app

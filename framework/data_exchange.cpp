// Data exchange: the dialog's members to its controls and back, with validation.
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include <string>

#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "res/strings.h"

namespace trovex {

bool CDialog::UpdateData(bool bSaveAndValidate) {
  if (!pWnd_) return false;
  CDataExchange dx(*this, bSaveAndValidate);
  try {
    DoDataExchange(dx);
  } catch (const DataExchangeFailure&) {
    return false;
  }
  return true;
}

wxWindow* CDataExchange::PrepareCtrl(int id) {
  wxWindow* c = pDlg->GetDlgItem(id);
  if (!c)
    throw std::logic_error("dialog " + std::to_string(pDlg->GetTemplateId()) + " has no control " +
                           std::to_string(id));
  pLastCtrl = c;
  nLastCtrlId = id;
  bLastIsEdit = dynamic_cast<wxTextCtrl*>(c) != nullptr;
  return c;
}

wxTextCtrl* CDataExchange::PrepareEditCtrl(int id) {
  auto* edit = dynamic_cast<wxTextCtrl*>(PrepareCtrl(id));
  if (!edit) throw std::logic_error("control " + std::to_string(id) + " is not an edit");
  return edit;
}

void CDataExchange::Fail() {
  if (pLastCtrl) pDlg->GotoDlgCtrl(pLastCtrl);
  throw DataExchangeFailure();
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
  dx.PrepareCtrl(id);
  if (dx.bSaveAndValidate)
    value = dx.pDlg->GetDlgItemText(id);
  else
    dx.pDlg->SetDlgItemText(id, value);
}

void DDX_Radio(CDataExchange& dx, int firstId, int& value) {
  dx.PrepareCtrl(firstId);
  const auto& controls = dx.pDlg->Template().controls;
  size_t first = 0;
  while (first < controls.size() && controls[first].nId != firstId) ++first;
  if (dx.bSaveAndValidate) value = -1;
  int index = 0;
  for (size_t i = first; i < controls.size(); ++i) {
    if (i != first && (controls[i].style & TS_GROUP)) break;
    if (controls[i].kind != CtlKind::RadioButton) continue;
    auto* radio = dynamic_cast<wxRadioButton*>(dx.pDlg->GetDlgItem(controls[i].nId));
    if (radio) {
      if (dx.bSaveAndValidate) {
        if (radio->GetValue()) value = index;
      } else if (index == value) {
        radio->SetValue(true);
      } else if (radio->GetValue()) {
        radio->SetValue(false);
      }
    }
    ++index;
  }
}

void DDX_Check(CDataExchange& dx, int id, int& value) {
  auto* check = dynamic_cast<wxCheckBox*>(dx.PrepareCtrl(id));
  if (!check) throw std::logic_error("control " + std::to_string(id) + " is not a check box");
  if (dx.bSaveAndValidate)
    value = check->GetValue() ? 1 : 0;
  else
    check->SetValue(value != 0);
}

void DDV_MaxChars(CDataExchange& dx, const std::string& value, int nChars) {
  if (dx.bSaveAndValidate) {
    if (static_cast<long>(ToWx(value).length()) > nChars) {
      AppMessageBoxRes1(dx.pDlg->GetWindow(), IDP_PARSE_STRING_SIZE, std::to_string(nChars),
                        MB_ICONEXCLAMATION);
      dx.Fail();
    }
  } else if (dx.bLastIsEdit) {
    dx.pDlg->SetEditInputLimit(static_cast<wxTextCtrl*>(dx.pLastCtrl), nChars);
  }
}

}  // namespace trovex

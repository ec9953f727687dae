// Category tree, item editor and the category and item commands of the main window.
#include "app/FMain.h"

void TfrmMain::tvwMainChanging(QTreeWidgetItem* /*node*/, bool& /*allowChange*/) {}

void TfrmMain::tvwMainChange() {}

void TfrmMain::edtTitleKeyDown(QWidget* /*field*/, QKeyEvent* /*key*/) {}

void TfrmMain::btnSaveClick() {}

void TfrmMain::ShowItem(const QByteArray& /*category*/, const QByteArray& /*title*/) {}

void TfrmMain::ClearItemFields() {}

void TfrmMain::EnableItemFields() {}

void TfrmMain::DisableItemFields() {}

void TfrmMain::SaveItem() {}

void TfrmMain::btnAddCategoryClick() {}

void TfrmMain::btnAddItemClick() {}

void TfrmMain::AddCategory1Click() {}

void TfrmMain::EditCategory1Click() {}

void TfrmMain::DeleteCategory1Click() {}

void TfrmMain::AddItem1Click() {}

void TfrmMain::DeleteItem1Click() {}

void TfrmMain::EditCategory() {}

void TfrmMain::DeleteCategory() {}

void TfrmMain::DeleteItem() {}

void TfrmMain::bsSkinPopupMenu1Popup() {}

// The Qt window of the editor: a thin view of MainWindowModel. Widgets show the model's
// state after every change and forward the operator's actions to the model's parts.
//
// main_window.cpp builds the window and keeps it in step with the model;
// main_window_tool_bars.cpp holds the two tool bars and the commands of their buttons,
// main_window_menus.cpp the menu bar with the same commands and their keys,
// main_window_panels.cpp the groups, the grid and the preview; gbk_line_edit.cpp the two
// line editors.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <array>
#include <vector>

#include "app/main_window_model.h"

class QAction;
class QComboBox;
class QMenu;
class QLayout;
class QAbstractButton;

namespace qx {

class SegmentListModel;
class SegmentListView;

class MainWindow : public QMainWindow {
 public:
  MainWindow(MainWindowModel& model, Ui& ui);

  // Shows the model's state in every widget.
  void Refresh();
  MainWindowModel& model() { return model_; }
  QWidget* Widget(Control c) const { return widgets_[static_cast<std::size_t>(c)]; }
  bool syncing() const { return syncing_; }
  // The menu command that runs the same command as control `c` (nullptr when none).
  QAction* CommandAction(Control c) const;
  // Places the window on the screen's available area: where it was last time when that
  // still fits wholly (`frame` its frame then, `size` its inner size), else maximised.
  void PlaceOnScreen(const ScreenRect& available, const ScreenRect* frame, int width,
                     int height, bool maximized);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void Build();
  QWidget* BuildUpperToolBar();
  QWidget* BuildLowerToolBar();
  QLayout* BuildGroups();
  QLayout* BuildListAndPreview();
  QAbstractButton* ToolButton(Control c, const QString& text);
  QComboBox* Selector(Control c);
  QLineEdit* NumberEdit(Control c);
  void RefreshGrid();
  void RefreshPreview();
  void FollowModelFocus();
  void BuildMenus();
  void FillRecentMenu();
  void RefreshCommands();
  // Runs the command of a button or menu entry through the model, when it is offered.
  void RunCommand(Control c);
  void NotYetAvailable();
  void ListButtonClick(Control c);
  void FileButtonClick(Control c);
  void FollowingButtonClick(Control c);
  void ApplyEditorFont();
  // Undo and redo (main_window_undo.cpp).
  QAction* UndoRedoAction(bool redo);
  void RunUndoRedo(bool redo);
  void RefreshUndoRedo();
  bool IsUndoRedoKey(const QKeySequence& pressed);

  MainWindowModel& model_;
  Ui& ui_;
  std::array<QWidget*, kControlCount> widgets_{};
  SegmentListView* grid_ = nullptr;
  SegmentListModel* grid_model_ = nullptr;
  QLabel* preview_ = nullptr;
  QLabel* preview_note_ = nullptr;
  QLabel* status_[2] = {nullptr, nullptr};
  std::vector<std::pair<QAction*, Control>> command_actions_;
  QAction* bold_action_ = nullptr;
  QAction* undo_action_ = nullptr;
  QAction* redo_action_ = nullptr;
  QMenu* recent_menu_ = nullptr;
  bool syncing_ = false;
};

}  // namespace qx

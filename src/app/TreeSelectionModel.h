#pragma once

#include <QItemSelectionModel>

#include <functional>

// A selection model that asks before the current node moves, so that a handler can veto the
// move (mouse clicks and arrow keys both pass through setCurrentIndex and select). Connect to
// currentChanged for the move that happened.
class TTreeSelectionModel : public QItemSelectionModel
{
    Q_OBJECT
public:
    // Returns false to keep the selection where it is.
    using Changing = std::function<bool(const QModelIndex& next)>;

    TTreeSelectionModel(QAbstractItemModel* model, Changing changing, QObject* parent = nullptr);

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override;

private:
    bool selectsOther(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) const;

    Changing m_changing;
    bool m_inAllowedMove = false;
};

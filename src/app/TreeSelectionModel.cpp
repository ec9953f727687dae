#include "app/TreeSelectionModel.h"

TTreeSelectionModel::TTreeSelectionModel(QAbstractItemModel* model, Changing changing, QObject* parent)
    : QItemSelectionModel(model, parent), m_changing(std::move(changing))
{
}

void TTreeSelectionModel::setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command)
{
    if (index != currentIndex() && !m_inAllowedMove && m_changing && !m_changing(index))
        return;
    const bool was = m_inAllowedMove;
    m_inAllowedMove = true;
    QItemSelectionModel::setCurrentIndex(index, command);
    m_inAllowedMove = was;
}

void TTreeSelectionModel::select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command)
{
    select(QItemSelection(index, index), command);
}

void TTreeSelectionModel::select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command)
{
    // Selecting a node other than the current one moves the selection: that goes through
    // setCurrentIndex first (and its question), so a lone select() of another node is a move
    // that was refused there.
    if (!m_inAllowedMove && selectsOther(selection, command))
        return;
    QItemSelectionModel::select(selection, command);
}

bool TTreeSelectionModel::selectsOther(const QItemSelection& selection,
                                       QItemSelectionModel::SelectionFlags command) const
{
    if (!(command & (QItemSelectionModel::Select | QItemSelectionModel::Toggle)))
        return false;
    const QModelIndex current = currentIndex();
    for (const QItemSelectionRange& range : selection) {
        for (const QModelIndex& index : range.indexes()) {
            if (index.siblingAtColumn(0) != current.siblingAtColumn(0))
                return true;
        }
    }
    return false;
}

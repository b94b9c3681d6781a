#include "databinding.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>

#include <algorithm>

ControlsDisabled::~ControlsDisabled()
{
    if (m_enabled)
        return;
    try {
        m_dataset.enableControls();
    } catch (...) {
        // Already failing: the walk's error is the one to report.
    }
}

void ControlsDisabled::enable()
{
    m_enabled = true;
    m_dataset.enableControls();
}

TDataSource::TDataSource(TDbf *dataset, QObject *parent) : QObject(parent)
{
    setDataSet(dataset);
}

TDataSource::~TDataSource()
{
    setDataSet(nullptr);
    for (TFieldDataLink *link : m_links)
        link->m_source = nullptr;
}

void TDataSource::setDataSet(TDbf *dataset)
{
    if (m_dataset && m_listenerId)
        m_dataset->removeDataListener(m_listenerId);
    m_dataset = dataset;
    m_listenerId = 0;
    if (m_dataset)
        m_listenerId = m_dataset->addDataListener([this](TDataEvent event, TDbfField *field) { dataEvent(event, field); });
    dataEvent(TDataEvent::DataSetChange, nullptr);
}

TDataSetState TDataSource::state() const
{
    return m_dataset ? m_dataset->state() : TDataSetState::dsInactive;
}

void TDataSource::edit()
{
    if (m_autoEdit && m_dataset && m_dataset->state() == TDataSetState::dsBrowse)
        m_dataset->edit();
}

void TDataSource::dataEvent(TDataEvent event, TDbfField *field)
{
    // A link may be removed by a handler it calls; walk a copy.
    const std::vector<TFieldDataLink *> links = m_links;
    for (TFieldDataLink *link : links)
        if (std::find(m_links.begin(), m_links.end(), link) != m_links.end())
            link->dataEvent(event, field);
}

TFieldDataLink::~TFieldDataLink()
{
    // The control that owns the link is being destroyed (its own part already is): letting go
    // of the source must not call back into it.
    onDataChange = nullptr;
    onEditingChange = nullptr;
    onUpdateData = nullptr;
    setDataSource(nullptr);
}

void TFieldDataLink::setDataSource(TDataSource *source)
{
    if (m_source)
        std::erase(m_source->m_links, this);
    m_source = source;
    if (m_source)
        m_source->m_links.push_back(this);
    m_modified = false;
    m_wasEditing = editing();
    if (onDataChange)
        onDataChange();
}

void TFieldDataLink::setFieldName(const std::string &name)
{
    m_fieldName = name;
    m_modified = false;
    if (onDataChange)
        onDataChange();
}

TDbfField *TFieldDataLink::field() const
{
    TDbf *dataset = m_source ? m_source->dataSet() : nullptr;
    if (!dataset || !dataset->active() || m_fieldName.empty())
        return nullptr;
    return dataset->findField(m_fieldName);
}

bool TFieldDataLink::missingField() const
{
    TDbf *dataset = m_source ? m_source->dataSet() : nullptr;
    return dataset && dataset->active() && !m_fieldName.empty() && !dataset->findField(m_fieldName);
}

bool TFieldDataLink::editing() const
{
    const TDataSetState state = m_source ? m_source->state() : TDataSetState::dsInactive;
    return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
}

bool TFieldDataLink::canModify() const
{
    return field() && m_source->dataSet()->canModify();
}

bool TFieldDataLink::edit()
{
    if (!editing() && canModify())
        m_source->edit();
    return editing();
}

bool TFieldDataLink::requestEdit()
{
    if (!m_source)
        return true;
    const QScopedValueRollback<bool> requesting(m_requesting, true);
    if (edit())
        return true;
    QApplication::beep();
    return false;
}

bool TFieldDataLink::passKey(QKeyEvent *event, bool multiLine)
{
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    const bool newLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool changes = printable || (multiLine && newLine) || event->key() == Qt::Key_Backspace ||
                         event->key() == Qt::Key_Delete || event->matches(QKeySequence::Paste) ||
                         event->matches(QKeySequence::Cut);
    if (printable) {
        if (TDbfField *bound = field(); bound && !bound->canEncode(typed.toStdString())) {
            QApplication::beep();
            return false;
        }
    }
    return !changes || requestEdit();
}

void TFieldDataLink::reset()
{
    m_modified = false;
    if (onDataChange)
        onDataChange();
}

void TFieldDataLink::updateRecord()
{
    if (!m_modified || !field())
        return;
    m_updating = true;
    try {
        if (onUpdateData)
            onUpdateData();
    } catch (...) {
        m_updating = false;
        throw;
    }
    m_updating = false;
    m_modified = false;
}

void TFieldDataLink::dataEvent(TDataEvent event, TDbfField *changed)
{
    switch (event) {
    case TDataEvent::UpdateRecord:
        updateRecord();
        break;
    case TDataEvent::UpdateState:
        if (editing() != m_wasEditing) {
            m_wasEditing = editing();
            if (!m_wasEditing)
                m_modified = false;
            if (onEditingChange)
                onEditingChange();
        }
        break;
    case TDataEvent::FieldChange:
        // The control's own write is not news to it.
        if (m_updating || changed != field())
            break;
        [[fallthrough]];
    default:
        m_modified = false;
        if (onDataChange)
            onDataChange();
        break;
    }
}

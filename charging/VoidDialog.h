#pragma once
#include "charging/PaymentVoid.h"

#include <QDialog>

class GbkLineEdit;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class RowsModel;

// "收费作废": voids one payment taken by mistake. The operator types a receipt number (or
// picks one of the charging date's payments from the list), sees the payment and what the
// void will do to the house's paid-up date, types the reason and confirms.
class VoidDialog : public QDialog {
    Q_OBJECT
public:
    explicit VoidDialog(QWidget *parent = nullptr);

    QLineEdit *numberEdit;   // 收据单号; Enter shows the payment
    QTableView *todayGrid;   // the charging date's live payments, newest first
    RowsModel *todayRows;
    QLabel *paymentLabels[12];
    QLabel *refusalLabel;    // why this payment cannot be voided, in red
    GbkLineEdit *reasonEdit; // 作废原因, required
    QComboBox *approverBox;  // 批准人: the other 管理员s, offered where the void needs approval
    GbkLineEdit *approverPasswordEdit; // the approver's own password
    QPushButton *voidButton;
    QPushButton *closeButton;

    // The payment shown (empty number when none).
    const PaymentVoid::Payment &shown() const { return m_payment; }

public slots:
    // Shows the payment of the typed receipt number.
    void findPayment();
    // Takes the receipt number of the list's current row and shows it.
    void pickFromList();
    // Asks (No the default) and voids the shown payment.
    void voidPayment();
    // Re-reads the charging date's payments.
    void refreshList();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPayment(const PaymentVoid::Payment &payment, const QString &paidUpAfter, const QString &refusal);
    void clearPayment();
    PaymentVoid::Payment m_payment;
    QString m_paidUpAfter;
};

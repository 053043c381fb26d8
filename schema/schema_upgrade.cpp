#include "schema/schema_upgrade.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <regex>
#include <set>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/record_set.h"
#include "schema/schema_probes.h"

namespace schema {

const char kDistrictList[] =
    "BHAKTAPUR_DHADING_KATHMANDU_KAVREPLANCHOWK_LALITPUR_NUWAKOT_RASUWA_SINDHUPANCHOWK_BANKE_"
    "BARDIYA_DAILEKH_JAJARKOT_SURKHET_BAGLUNG_MUSTANG_MYAGDI_PARBAT_GORKHA_KASKI_LAMJUNG_MANANG_"
    "SYANGJA_TANAHU_DHANUSA_DHOLKHA_MAHOTTARI_RAMECHHAP_SARLAHI_SINDULI_DOLPA_HUMLA_JUMLA_"
    "KALIKOT_MUGU_BHOJPUR_DHANKUTA_MORANG_SANKHUWASABHA_SUNSARI_TERHATHUM_ARGHAKHANCHI_GULMI_"
    "KAPILVASTU_NAWALPARASI_PALPA_RUPANDEHI_BAITADI_DADELDHURA_DARCHULA_KANCHANPUR_IIAM_JHAPA_"
    "PANCHTHAR_TAPLEJUNG_BARA_CHITWAN_MAKWANPUR_PARSA_RAUTAHAT_DANG_DEUKHURI_PHYTHAN_ROLPA_"
    "RUKUM_SALYAN_KHOTANG_OKHALDHUNGA_SAPTARI_SIRAHA_SOLUKHUMBU_UDAYPUR_ACHHAM_BAJHANG_BAJURA_"
    "DOTI_KAILALI";

const std::vector<UpgradeStep>& UpgradeSteps() {
  // The statements are SQL Server's; the embedded driver rewrites them as they run. The Nepali
  // texts of Letter and Company are in the glyph encoding of a legacy Nepali font (ASCII and
  // Latin-1 characters standing for Devanagari glyphs), stored as UTF-8 like all catalog text.
  // clang-format off
  static const std::vector<UpgradeStep> kSteps = {
    // 1
    {Probe::kTable, "MsgRoom", "",
     {
      "Create Table MsgRoom(SN int,MDate varchar(10),Msg varchar(200),Sender int,Receiver int,Stime varchar(30),[Read] int)"},
     Fill::kNone},
    // 2
    {Probe::kMasterTable, "LoginInfo", "",
     {
      "Create Table LoginInfo(SN Int,DName Varchar(60),UName Varchar(50),Office varchar(150),Address varchar(100),Phone varchar(60),Logo image,LoginDate varchar(10),LoginTime varchar(8),Font varchar(30))"},
     Fill::kNone},
    // 3
    {Probe::kTable, "CheckRepair", "",
     {
      "Create Table CheckRepair(Repair Int)"},
     Fill::kNone},
    // 4
    {Probe::kTable, "District", "",
     {
      "Create Table District(SN int,Name varchar(30))"},
     Fill::kDistricts},
    // 5
    {Probe::kColumn, "Master", "iDate",
     {
      "Alter Table [Master] Add iDate Varchar(10),dTime Varchar(8)",
      "Alter Table OtherSetting Add iDate int,dTime Varchar(8)"},
     Fill::kNone},
    // 6
    {Probe::kColumn, "MasterAc", "DCode",
     {
      "Alter Table MasterAc Add CitizenNo Varchar(30),DCode Int,IssueDate varchar(10)",
      "Update MasterAc set CitizenNo='...',Dcode=0,IssueDate='0000/00/00'"},
     Fill::kNone},
    // 7
    {Probe::kColumn, "MasterAc", "BranchID",
     {
      "Alter Table MasterAc Add BranchID Int",
      "Update MasterAc set BranchID=1"},
     Fill::kNone},
    // 8
    {Probe::kColumn, "Acc", "SPRate",
     {
      "Alter Table Acc Add SPRate Float,SSRate Float",
      "Update Acc Set SPRate=0,SSRate=0"},
     Fill::kNone},
    // 9
    {Probe::kColumn, "MasterAc", "MType",
     {
      "Alter Table MasterAc Add MType Int",
      "Update MasterAc Set Mtype=1"},
     Fill::kNone},
    // 10
    {Probe::kTable, "TaxOnInterest", "",
     {
      "Create Table TaxOnInterest(SN Int,Personal Float,Ins Float,[Group] Float)",
      "Insert Into TaxOnInterest(SN,Personal,Ins,[Group]) Values(1,5,15,5)"},
     Fill::kNone},
    // 11
    {Probe::kColumn, "LocalGroup", "DName",
     {
      "Alter Table LocalGroup Add DName Varchar(40)",
      "Update LocalGroup Set DName='==='"},
     Fill::kNone},
    // 12
    {Probe::kColumn, "VDC", "DName",
     {
      "Alter Table VDC Add DName Varchar(40)",
      "Update VDC Set DName='==='"},
     Fill::kNone},
    // 13
    {Probe::kColumn, "Tole", "DName",
     {
      "Alter Table Tole Add DName Varchar(40)",
      "Update Tole Set DName='==='"},
     Fill::kNone},
    // 14
    {Probe::kTable, "MemberGroup", "",
     {
      "Create Table MemberGroup(SN int,Name Varchar(50),DName Varchar(50),Phone Varchar(40),VDC int,GN Int,WardNo Int,MDate Int)"},
     Fill::kNone},
    // 15
    {Probe::kColumn, "MasterAc", "GN",
     {
      "Alter Table MasterAc Add GN Int",
      "Update MasterAc Set GN=0"},
     Fill::kNone},
    // 16
    {Probe::kColumn, "SubLedger", "LLR",
     {
      "Alter Table SubLedger Add LLR Float",
      "Update SubLedger Set LLR=0"},
     Fill::kNone},
    // 17
    {Probe::kColumn, "Acc", "LSecurity",
     {
      "Alter Table Acc Add LSecurity Varchar(30)",
      "Update Acc Set LSecurity='Personal Guarantee'"},
     Fill::kNone},
    // 18
    {Probe::kColumn, "LoanDemandForm", "KittaNo",
     {
      "Alter Table LoanDemandForm Add KittaNo Varchar(30),Area Varchar(40)",
      "Update LoanDemandForm Set KittaNo='...',Area='...'"},
     Fill::kNone},
    // 19
    {Probe::kTable, "SMSSetting", "",
     {
      "Create Table SMSSetting (SN Int,Mcode Int,Date Varchar(10),Accode Int,AType Varchar(30),Mobile Varchar(15),StopService Int,Limit Float)"},
     Fill::kNone},
    // 20
    {Probe::kTable, "SMSDatabase", "",
     {
      "Create Table SMSDatabase (SN Int,[Database] Varchar(255),[Password] Varchar(30))"},
     Fill::kNone},
    // 21
    {Probe::kTable, "LoanSMS", "",
     {
      "Create Table LoanSMS(SN Int,Accode Int,Mobile Varchar(30),Date Varchar(10),[Receive] Varchar(255),[Send] Varchar(600),Reply Int, Fyear Int)"},
     Fill::kNone},
    // 22
    {Probe::kColumn, "SMSSetting", "DateTo",
     {
      "Alter Table SMSSetting Add DateTo Varchar(10)"},
     Fill::kDateTo},
    // 23
    {Probe::kTable, "PrintSet", "",
     {
      "Create Table PrintSet(IsSmall bit)",
      "Insert into PrintSet(IsSmall) values(0)"},
     Fill::kNone},
    // 24
    {Probe::kColumn, "PrintSet", "Data",
     {
      "Alter Table PrintSet Add TM Float,[Data] Bit",
      "Update PrintSet Set TM=900,[Data]=0"},
     Fill::kNone},
    // 25
    {Probe::kColumn, "PrintSet", "DoubleSided",
     {
      "Alter Table [PrintSet] Add DoubleSided bit",
      "Update [PrintSet] set DoubleSided=0"},
     Fill::kNone},
    // 26
    {Probe::kTable, "Vault", "",
     {
      "Create Table Vault(SN int,Date Varchar(10),Fld1000 Float,Fld500 Float,Fld100 Float,Fld50 Float,Fld25 Float,Fld20 Float,Fld10 Float,Fld5 Float,Fld2 Float,Fld1 Float,Coins Float,Total Float,UID Int,DTime Varchar(8),InOut Varchar(3),Remarks Varchar(50))"},
     Fill::kNone},
    // 27
    {Probe::kTable, "Letter", "",
     {
      "Create Table Letter(SN int,Subject varchar(200),Details Varchar(800))",
      "Insert into Letter(sn,SubJect,Details) Values(1,'ljifo','kqsf] gdÒgf')"},
     Fill::kNone},
    // 28
    {Probe::kTable, "Security", "",
     {
      "Create Table Security(UID Int, LedgerCreate bit, LedgerEdit bit, LedgerDelete bit,LDEntry bit,LDEdit bit,LDDelete int,LDLimit Float,DepoEntry int,DepoEdit int,DepoDelete bit,DepoLimit Float,ColEntry bit,ColEdit bit,ColDelete bit,JVEntry bit,JVEdit bit,JVDelete bit,SPEntry bit,SPEdit bit,SPDelete bit,IntPost bit,SharePost bit,ChqIssue bit,OpEntry bit,OpEdit bit,OpDelete bit,OpPrint bit,AcClosing bit,Checking bit,CBackup bit,Trial bit,RP bit,IE bit,BS bit,AcState bit,LoanState bit,AcBal bit,CtlLedger bit,DayBook bit,UserReport bit,Summary bit,LoanMemo bit,LoanAgeing bit,Ratio bit,CashFlow bit,Periodic bit)"},
     Fill::kNone},
    // 29
    {Probe::kColumn, "Security", "CashDeno",
     {
      "Alter Table Security Add CashDeno Bit",
      "Update Security Set CashDeno=0"},
     Fill::kNone},
    // 30
    {Probe::kTable, "Activation", "",
     {
      "CREATE TABLE [Activation]([AcName] [bit] NULL,[Accode] [bit] NULL,[GLCode] [bit] NULL,[Custom] [bit] NULL,[Font] [varchar](20) NULL,[BillFont] [varchar](30) NULL,[BB] [int] NULL,[SanaKisan] [int] NULL)"},
     Fill::kNone},
    // 31
    {Probe::kColumn, "Activation", "SanaKisan",
     {
      "Alter Table Activation Add SanaKisan Bit",
      "Update Activation Set SanaKisan=0"},
     Fill::kNone},
    // 32
    {Probe::kColumn, "SubLedger", "Source",
     {
      "Alter Table SubLedger Add Source Varchar(30)",
      "Update SubLedger Set Source='==='"},
     Fill::kNone},
    // 33
    {Probe::kColumn, "Ledger", "SKCode",
     {
      "Alter Table Ledger Add SKCode Int",
      "Update Ledger Set SKCode=0",
      "Alter Table SubLedger Add SKCode Float",
      "Update SubLedger Set SKCode=0",
      "Alter Table Acc Add SKCode Varchar(15)",
      "Update Acc Set SKCode='0'"},
     Fill::kNone},
    // 34
    {Probe::kTable, "OfficeStaff", "",
     {
      "Create Table OfficeStaff(SN Int,Male Int,Female Int,Office Int,Counter Int,IntR Int,dAddress Varchar(60))",
      "Insert into OfficeStaff(SN,Male,Female,Office,Counter,IntR,dAddress) Values(1,1,1,1,0,0,'===')"},
     Fill::kNone},
    // 35
    {Probe::kColumn, "OfficeStaff", "dName",
     {
      "Alter Table OfficeStaff Add dName varchar(80)"},
     Fill::kNone},
    // 36
    {Probe::kColumn, "SubLedger", "NDeposit",
     {
      "Alter Table SubLedger Add NDeposit Float,NRate Float",
      "Update SubLedger Set NDeposit=0,NRate=0 Where NDeposit is null",
      "Alter Table SavingSetting Add NDeposit Float,NRate Float",
      "Update SavingSetting Set NDeposit=0,NRate=0 Where NDeposit is null"},
     Fill::kNone},
    // 37
    {Probe::kColumn, "SMSDatabase", "bSMS",
     {
      "Alter Table SMSDatabase Add BSMS Int,SMSRs Float,Msg Varchar(160)",
      "Update SMSDatabase Set BSMS=1,SMSRs=5000,Msg='HAPPY BIRTHDAY TO YOU AND WISH YOU ALL THE BEST.'"},
     Fill::kNone},
    // 38
    {Probe::kColumn, "SMSDatabase", "Server",
     {
      "Alter Table SMSDatabase Add Server Varchar(60), Customer_ID Int,dType Varchar(30),DBUser varchar(30)",
      "Update SMSDatabase Set Server='.',Customer_ID=0,DType='SIM',DBUser='sa'"},
     Fill::kNone},
    // 39
    {Probe::kColumn, "SMSDatabase", "DbUser",
     {
      "Alter Table SMSDatabase Add DBUser varchar(30)",
      "Update SMSDatabase Set DbUser='sa'"},
     Fill::kNone},
    // 40
    {Probe::kColumn, "Master", "BranchID",
     {
      "Alter Table [Master] Add BranchID Int",
      "Update [Master] set BranchID=1",
      "Alter Table Amortization Add BranchID Int",
      "Update Amortization set BranchID=1",
      "Alter Table AmDetails Add BranchID Int",
      "Update AmDetails set BranchID=1"},
     Fill::kNone},
    // 41
    {Probe::kColumn, "Amortization", "BranchID",
     {
      "Alter Table Amortization Add BranchID Int",
      "Update Amortization set BranchID=1",
      "Alter Table AmDetails Add BranchID Int",
      "Update AmDetails set BranchID=1"},
     Fill::kNone},
    // 42
    {Probe::kColumn, "Amortization", "iStatus",
     {
      "Alter Table Amortization Add iStatus Varchar(15)",
      "Update Amortization set iStatus='Dynamic'"},
     Fill::kNone},
    // 43
    {Probe::kColumn, "OtherSetting", "SubCode",
     {
      "Alter Table OtherSetting Add SubCode int",
      "Update OtherSetting set SubCode=0"},
     Fill::kNone},
    // 44
    {Probe::kColumn, "OtherSetting", "PLOn",
     {
      "Alter Table OtherSetting Add OnIns bit,PLOn Int",
      "Update OtherSetting set OnIns=0,PLOn=0"},
     Fill::kNone},
    // 45
    {Probe::kColumn, "VRemarks", "IntStatus",
     {
      "Alter Table VRemarks Add IntStatus Varchar(600)",
      "Update VRemarks set IntStatus='...'"},
     Fill::kNone},
    // 46
    {Probe::kColumn, "Acc", "BranchID",
     {
      "Alter Table [Acc] Add BranchID Int",
      "Update [Acc] set BranchID=1"},
     Fill::kNone},
    // 47
    {Probe::kColumn, "MemberGroup", "GType",
     {
      "Alter Table [MemberGroup] Add GType Varchar(15)",
      "Update [MemberGroup] set Gtype='Mixed'"},
     Fill::kNone},
    // 48
    {Probe::kColumn, "OtherSetting", "PFrom",
     {
      "Alter Table [OtherSetting] Add PFrom Int,PFromMI Int",
      "Update [OtherSetting] set PFrom=0,PFromMI=0"},
     Fill::kNone},
    // 49
    {Probe::kColumn, "MasterAc", "email",
     {
      "Alter Table [MasterAc] Add Email Varchar(40)",
      "Update [MasterAc] set Email='...'"},
     Fill::kNone},
    // 50
    {Probe::kTable, "OfficialInfo", "",
     {
      "Create Table OfficialInfo(Mcode int,Profession varchar(30),OfficeName Varchar(80),Address Varchar(40),RegdNo varchar(30),PAN Varchar(12),Service varchar(80),ServiceProvider varchar(80),Phone varchar(30),Recommended varchar(30),Approved varchar(30))",
      "Create Table FamilyInfo(SN Int,MCode Int,FName varchar(60),Relation varchar(30),DOB varchar(10))",
      "Create Table DepositInfo(SN Int,MCode Int,DName varchar(60))"},
     Fill::kNone},
    // 51
    {Probe::kColumn, "OfficialInfo", "Qualification",
     {
      "Alter Table [OfficialInfo] Add Qualification Varchar(40),Board varchar(50),PassedYear varchar(30),Division varchar(30),[Percent] varchar(30)",
      "Update [OfficialInfo] set Qualification='...',Board='...',PassedYear='...',Division='...',[Percent]='...'"},
     Fill::kNone},
    // 52
    {Probe::kColumn, "Master", "eDate",
     {
      "Alter Table [Master] Add eDate Varchar(10)"},
     Fill::kNone},
    // 53
    {Probe::kColumn, "MasterAc", "Mother",
     {
      "Alter Table [MasterAc] Add Mother Varchar(80)"},
     Fill::kNone},
    // 54
    {Probe::kTable, "NetSMS", "",
     {
      "Create Table NetSMS(SN Int,SERVER_NAME Varchar(80),DATABASE_NAME Varchar(50),USER_NAME Varchar(50),PASSWORD Varchar(50),CUSTOMER_ID Int,DATABASE_TYPE Varchar(30))"},
     Fill::kNone},
    // 55
    {Probe::kTable, "SMSService", "",
     {
      "Create Table SMSService(SN Int,Date Varchar(30),BranchID Int,Customer_ID Int,Mobile Varchar(15),Request Varchar(30),Reply Varchar(255),Process_Status Int)"},
     Fill::kNone},
    // 56
    {Probe::kTable, "InterestSetting", "",
     {
      "Create Table InterestSetting(SN Int,SubCode Int,Date Varchar(10),IntRate Float,Fyear Int)"},
     Fill::kNone},
    // 57
    {Probe::kTable, "ChangeIntRate", "",
     {
      "Create Table ChangeIntRate(SN Int,Date Varchar(10),PRate Float,CurRate Float,UID Int)"},
     Fill::kNone},
    // 58
    {Probe::kTable, "LoanStatement", "",
     {
      "Create Table LoanStatement(SN Int,Accode int,Date Varchar(10),Mobile Varchar(15),Request Varchar(5),Message_Reply Varchar(200))"},
     Fill::kNone},
    // 59
    {Probe::kTable, "Wallpaper", "",
     {
      "Create Table Wallpaper(SN Int,Wallpaper Int,Banner Int)",
      "Insert into Wallpaper(SN,Wallpaper,Banner) Values(1,10,11)"},
     Fill::kNone},
    // 60
    {Probe::kColumn, "Activation", "BB",
     {
      "Alter Table Activation Add [BB] Int",
      "Update Activation set [BB]=1"},
     Fill::kNone},
    // 61
    {Probe::kColumn, "MasterAc", "MS",
     {
      "Alter Table MasterAc Add MS Int,PR int,Singal bit",
      "Update MasterAc Set MS=0,PR=0,Singal=0"},
     Fill::kNone},
    // 62
    {Probe::kTable, "PRSetting", "",
     {
      "Create Table PRSetting(SN int,PR Varchar(30))",
      "Insert into PRSetting(SN,PR) Values(1,'Rich')",
      "Insert into PRSetting(SN,PR) Values(2,'Middle')",
      "Insert into PRSetting(SN,PR) Values(3,'Poor')"},
     Fill::kNone},
    // 63
    {Probe::kColumn, "Acc", "BGroup",
     {
      "Alter Table Acc Add BGroup Varchar(3)",
      "Update Acc Set BGroup='A'"},
     Fill::kNone},
    // 64
    {Probe::kColumn, "SubLedger", "AcAlias",
     {
      "Alter Table SubLedger Add AcAlias Varchar(15)",
      "Update SubLedger set AcAlias='NA'"},
     Fill::kNone},
    // 65
    {Probe::kColumn, "MasterAc", "MDate",
     {
      "Alter Table MasterAc Add MDate Varchar(10)",
      "Update MasterAc set MDate='0000/00/00'"},
     Fill::kNone},
    // 66
    {Probe::kColumn, "Acc", "Threshold",
     {
      "Alter Table [Acc] Add Threshold Float",
      "Update [Acc] set Threshold=0"},
     Fill::kNone},
    // 67
    {Probe::kColumn, "Master", "Acode",
     {
      "Alter Table [Master] Add Acode Int,MasterCode Int"},
     Fill::kNone},
    // 68
    {Probe::kColumn, "Company", "NameNep",
     {
      "Alter Table Company Add NameNep Varchar(255),AddressNep Varchar(255)",
      "Update Company set NameNep='g]kfnL gfd',AddressNep='g]kfnL &]ufgf'"},
     Fill::kNone},
    // 69
    {Probe::kColumn, "SMSDatabase", "SMSRsLoan",
     {
      "Alter Table SMSDatabase Add SMSRsLoan Float",
      "Update SMSDatabase Set SMSRsLoan=0"},
     Fill::kNone},
    // 70
    {Probe::kColumn, "OtherSetting", "Basis",
     {
      "Alter Table OtherSetting Add Basis Varchar(20),SomSys Bit,AD1 Float,AD2 Float,AD3 Float,Dr1 Float,Dr2 Float,Dr3 Float,IR1 Float,IR2 Float,IR3 Float,PLGrace Float,Ag1 Float,Ag2 Float,Ag3 Float,Lperiod Int,DPeriod Int,MI1 Float,MI2 Float,MI3 Float,MIGrace Float,MiStatus Varchar(12),AdvLoanC Bit,MonthlyDue Bit,InsDue Bit,MinDeposit Bit,DepPercent Float,OnIns Bit,PLOn Int,SubCode Int"},
     Fill::kNone},
    // 71
    {Probe::kColumn, "SubLedger", "NDeposit1",
     {
      "Alter Table [SubLedger] Add NDeposit1 Float,NRate1 Float,NDeposit2 Float,NRate2 Float,NDeposit3 Float,NRate3 Float,NDeposit4 Float,NRate4 Float",
      "Update [SubLedger] set NDeposit1=0,NDeposit2=0,NDeposit3=0,NDeposit4=0,NRate1=0,NRate2=0,NRate3=0,NRate4=0"},
     Fill::kNone},
    // 72
    {Probe::kColumn, "SavingSetting", "NDeposit1",
     {
      "Alter Table [SavingSetting] Add NDeposit1 Float,NRate1 Float,NDeposit2 Float,NRate2 Float,NDeposit3 Float,NRate3 Float,NDeposit4 Float,NRate4 Float",
      "Update [SavingSetting] set NDeposit1=0,NDeposit2=0,NDeposit3=0,NDeposit4=0,NRate1=0,NRate2=0,NRate3=0,NRate4=0"},
     Fill::kNone},
    // 73
    {Probe::kColumn, "OtherSetting", "NoInterest",
     {
      "Alter Table OtherSetting Add NoInterest Int"},
     Fill::kNone},
    // 74
    {Probe::kColumn, "Security", "EMI",
     {
      "Alter Table Security Add EMI Bit",
      "Update Security Set EMI=0"},
     Fill::kNone},
    // 75
    {Probe::kColumn, "Security", "IE",
     {
      "Alter Table Security Add IE Bit",
      "Update Security Set IE=0"},
     Fill::kNone},
    // 76
    {Probe::kColumn, "Security", "IntPenalEdit",
     {
      "Alter Table Security Add IntPenalEdit Bit",
      "Update Security Set IntPenalEdit=0"},
     Fill::kNone},
    // 77
    {Probe::kColumn, "VDC", "TDS",
     {
      "Alter Table VDC Add TDS Int",
      "Update VDC Set TDS=1"},
     Fill::kNone},
    // 78
    {Probe::kColumn, "PrintSet", "Preparedby",
     {
      "Alter Table [PrintSet] Add Preparedby Int,Checkedby Int,Verifiedby Int,Approvedby Int",
      "Update [PrintSet] set Preparedby=1,Checkedby=1,Verifiedby=1,Approvedby=1"},
     Fill::kNone},
    // 79: a loan statement reply (nine lines, amounts of up to ten characters) needs more
    // than the 200 characters LoanStatement was created with.
    {Probe::kNarrowColumn, "LoanStatement", "Message_Reply",
     {
      "Alter Table LoanStatement Alter Column Message_Reply Varchar(600)"},
     Fill::kNone, 600},
    // 80
    {Probe::kNullRows, "Acc", "nAlias",
     {
      "Update Acc set Nalias='===' Where nAlias is null"},
     Fill::kNone},
  };
  // clang-format on
  return kSteps;
}

int LastUpgradeStep() { return static_cast<int>(UpgradeSteps().size()); }

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) {
    return "";
  }
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// "[Master]" and "Master" name the same object; names compare in upper case.
std::string NameKey(const std::string& name) {
  std::string bare = Trim(name);
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  return Upper(bare);
}

// The leading name of a column definition ("[Percent] varchar(30)") or of an assignment
// ("NRate=0"), without brackets.
std::string LeadingName(const std::string& piece) {
  const std::string text = Trim(piece);
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  const auto end = text.find_first_of(" \t=(");
  return text.substr(0, end);
}

// Splits at commas that stand outside quotes, brackets and parentheses, so that
// "Varchar(10),[a,b] Int,x='1,2'" gives three pieces. Pieces keep their text as written.
std::vector<std::string> SplitTopLevel(const std::string& text) {
  std::vector<std::string> pieces;
  std::string current;
  int depth = 0;  // open parentheses
  bool in_quote = false, in_bracket = false;
  for (char c : text) {
    if (in_quote) {
      in_quote = c != '\'';  // a doubled quote closes and reopens: same result
    } else if (in_bracket) {
      in_bracket = c != ']';
    } else if (c == '\'') {
      in_quote = true;
    } else if (c == '[') {
      in_bracket = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ',' && depth == 0) {
      pieces.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  pieces.push_back(current);
  return pieces;
}

std::string Join(const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& piece : pieces) {
    if (!out.empty()) {
      out += ',';
    }
    out += piece;
  }
  return out;
}

// "Alter Table T Add <definitions>": `head` is the text up to the first definition.
struct AlterAdd {
  std::string head;
  std::string table;
  std::vector<std::string> definitions;  // trimmed, as written
};

std::optional<AlterAdd> ParseAlterAdd(const std::string& sql) {
  static const std::regex kPattern(R"(^\s*alter\s+table\s+(\[[^\]]+\]|[^\s\[]+)\s+add\s+)",
                                   std::regex::icase);
  std::smatch match;
  if (!std::regex_search(sql, match, kPattern)) {
    return std::nullopt;
  }
  AlterAdd alter;
  alter.head = match.str(0);
  alter.table = match.str(1);
  for (const std::string& piece : SplitTopLevel(match.suffix().str())) {
    alter.definitions.push_back(Trim(piece));
  }
  return alter;
}

// "Update T Set a=1,b='x' [Where ...]": `head` is the text up to the first assignment.
struct SetUpdate {
  std::string head;
  std::string table;
  std::vector<std::string> assignments;  // trimmed, as written
  std::string where;                     // " Where ..." as written; "" when none
};

std::optional<SetUpdate> ParseSetUpdate(const std::string& sql) {
  static const std::regex kPattern(R"(^\s*update\s+(\[[^\]]+\]|[^\s\[]+)\s+set\s+)",
                                   std::regex::icase);
  static const std::regex kWhere(R"(\swhere\s)", std::regex::icase);
  std::smatch match;
  if (!std::regex_search(sql, match, kPattern)) {
    return std::nullopt;
  }
  SetUpdate update;
  update.head = match.str(0);
  update.table = match.str(1);
  const std::string rest = match.suffix().str();
  // Quoted texts blanked out, so a "where" inside a literal is not taken for the clause.
  std::string outside_quotes = rest;
  bool in_quote = false;
  for (char& c : outside_quotes) {
    const bool quote = c == '\'';
    if (in_quote || quote) {
      c = ' ';
    }
    if (quote) {
      in_quote = !in_quote;
    }
  }
  std::smatch where;
  std::size_t end = rest.size();
  if (std::regex_search(outside_quotes, where, kWhere)) {
    end = static_cast<std::size_t>(where.position(0));
    update.where = rest.substr(end);
  }
  for (const std::string& piece : SplitTopLevel(rest.substr(0, end))) {
    update.assignments.push_back(Trim(piece));
  }
  return update;
}

// Columns a step's ALTER TABLE statements found already present, per table key.
using PresentColumns = std::map<std::string, std::set<std::string>>;

// Runs one statement of a step. An ALTER TABLE ... ADD adds only the columns the table still
// lacks (nothing at all when it has them all). An Update that sets starting values gives a
// column the step found already there its starting value only in the rows where it is Null,
// so data already stored stays; its own Where clause, if any, still picks the rows, and the
// whole Update stays one statement, so that clause sees every row as it was before.
void RunStatement(data::Connection& connection, const std::string& sql, PresentColumns& present) {
  if (const auto alter = ParseAlterAdd(sql)) {
    std::vector<std::string> missing;
    for (const std::string& definition : alter->definitions) {
      const std::string column = LeadingName(definition);
      if (ColumnExists(connection, alter->table, column)) {
        present[NameKey(alter->table)].insert(NameKey(column));
      } else {
        missing.push_back(definition);
      }
    }
    if (missing.empty()) {
      return;
    }
    connection.Execute(missing.size() == alter->definitions.size() ? sql
                                                                   : alter->head + Join(missing));
    return;
  }
  if (const auto update = ParseSetUpdate(sql)) {
    const auto found = present.find(NameKey(update->table));
    if (found != present.end()) {
      std::vector<std::string> assignments;
      for (const std::string& assignment : update->assignments) {
        const std::string column = LeadingName(assignment);
        const auto equals = assignment.find('=');
        if (found->second.count(NameKey(column)) == 0 || equals == std::string::npos) {
          assignments.push_back(assignment);
        } else {
          // Already there: a stored value stays, a Null gets the starting value.
          assignments.push_back("[" + column + "]=Coalesce([" + column + "]," +
                                Trim(assignment.substr(equals + 1)) + ")");
        }
      }
      connection.Execute(update->head + Join(assignments) + update->where);
      return;
    }
  }
  connection.Execute(sql);
}

void FillDistricts(data::Connection& connection) {
  const std::string list = kDistrictList;
  int sn = 1;  // District.SN counts from 1 in list order
  std::string::size_type start = 0;
  while (true) {
    const auto end = list.find('_', start);
    const std::string name = list.substr(start, end - start);
    connection.Execute("Insert Into District(SN,Name) Values(" + std::to_string(sn) + "," +
                       data::SqlText(name) + ")");
    ++sn;
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
}

// Every SMSSetting row's service runs one year (365 days) from its Date. Rows are visited in
// Date order and each update sets all rows of the account, so rows sharing an Accode end with
// the value of the last one visited.
void FillDateTo(data::Connection& connection, const std::string& fallback_start) {
  data::RecordSet rows;
  rows.Open(connection, "Select Accode,Date from SMSSetting order by Date");
  for (; !rows.Eof(); rows.MoveNext()) {
    const data::Value& date = rows.Field("Date");
    std::string start = date.AsText();
    // "" occurs for no date as well as Null and "0000/00/00".
    if (date.IsNull() || start.empty() || start == "0000/00/00") {
      start = fallback_start;
    }
    const std::string date_to = calendar::BsAddDays(start, 365);
    const data::Value& accode = rows.Field("Accode");
    const std::string which =
        accode.IsNull() ? "Accode is null" : "Accode=" + std::to_string(accode.AsInt32());
    connection.Execute("Update SMSSetting Set DateTo=" + data::SqlText(date_to) + " Where " +
                       which);
  }
  rows.Close();
}

// True when the declared length of a text column is below `width` characters. SQL Server
// reports -1 for Varchar(max), which is wide enough.
bool IsNarrower(data::Connection& connection, const std::string& table, const std::string& column,
                int width) {
  if (connection.dialect() == data::Dialect::kSqlite) {
    return false;  // lengths not enforced
  }
  const data::QueryResult result = connection.Query(
      "Select CHARACTER_MAXIMUM_LENGTH from Information_Schema.columns Where Table_Name=" +
      data::SqlText(table) + " and Column_Name=" + data::SqlText(column));
  if (result.rows.empty() || result.rows.front().empty()) {
    return false;
  }
  const data::Value& length = result.rows.front().front();
  if (length.IsNull()) {
    return false;
  }
  const std::int64_t characters = length.AsInt64();
  return characters > 0 && characters < width;
}

// True when the step's probe finds its work still to do; `target` receives the connection
// its statements go to.
bool StepNeeded(UpgradeContext& context, const UpgradeStep& step, data::Connection** target) {
  data::Connection& main = *context.MainConnection;
  *target = &main;
  switch (step.probe) {
    case Probe::kTable:
      if (TableExists(main, step.table)) {
        return false;
      }
      break;
    case Probe::kMasterTable:
      if (context.MasterConnection == nullptr) {
        throw base::AgentError(base::kConnectionFailed, "No place for the Master connection");
      }
      if (MasterTableExists(context.OpenMasterConnection, *context.MasterConnection, step.table)) {
        return false;
      }
      *target = context.MasterConnection->get();
      break;
    case Probe::kColumn:
      if (ColumnExists(main, step.table, step.column)) {
        return false;
      }
      break;
    case Probe::kNarrowColumn:
      if (!IsNarrower(main, step.table, step.column, step.width)) {
        return false;
      }
      break;
    case Probe::kNullRows:
      if (main.QueryFirstRows("Select top 1 " + std::string(step.column) + " from " + step.table +
                                  " Where " + step.column + " is null",
                              1)
              .rows.empty()) {
        return false;
      }
      break;
  }
  return true;
}

void ExecuteStep(UpgradeContext& context, const UpgradeStep& step, data::Connection* target) {
  data::Transaction transaction(*target);
  PresentColumns present;
  for (const char* statement : step.statements) {
    RunStatement(*target, statement, present);
  }
  switch (step.fill) {
    case Fill::kNone:
      break;
    case Fill::kDistricts:
      FillDistricts(*target);
      break;
    case Fill::kDateTo:
      FillDateTo(*target, context.FallbackStartDate);
      break;
  }
  transaction.Commit();
}

void RunStep(UpgradeContext& context, const UpgradeStep& step) {
  data::Connection* target = nullptr;
  if (!StepNeeded(context, step, &target)) return;
  try {
    ExecuteStep(context, step, target);
  } catch (const base::AgentError& e) {
    // Another agent starting on the same catalog (the application on several PCs) may have
    // done the step meanwhile: its object is there now, and the step is done.
    if (base::WaitingMends(e.number()) || StepNeeded(context, step, &target)) throw;
  }
}

}  // namespace

void RunUpgradeSteps(UpgradeContext& context, int first_step, int last_step) {
  const std::vector<UpgradeStep>& steps = UpgradeSteps();
  if (first_step < 1 || last_step > static_cast<int>(steps.size())) {
    throw base::AgentError(base::kSubscriptOutOfRange,
                           "Schema upgrade steps " + std::to_string(first_step) + " to " +
                               std::to_string(last_step) + " do not exist");
  }
  if (context.MainConnection == nullptr) {
    throw base::AgentError(base::kConnectionFailed, "The accounting catalog is not connected");
  }
  for (int number = first_step; number <= last_step; ++number) {
    try {
      RunStep(context, steps[number - 1]);
    } catch (const base::AgentError& error) {
      // The step's transaction has rolled back by now; the steps before it stay done.
      throw base::AgentError(error.number(), "Schema upgrade step " + std::to_string(number) +
                                                 ": " + error.description());
    }
  }
}

}  // namespace schema

/* The grammar of exchange files. One call of yyparse reads one unit: the header section or one
   data entity. In the scan modes the lexer skips every parameter list and the actions only
   report where a definition stands; in evaluate mode they build the instance. */

%define api.pure full
%parse-param {cct_StepFile* file}
%lex-param {cct_StepFile* file}

%code requires {
#include "cct/lexer.h"
#include "cct/lnklst.h"
class cct_Type;
class cct_Instance;
class cct_StepFile;
using cct_ParameterList = cct_LinkList<cct_ListNode>;
/* A record's value: the built instance (evaluate) or the entity type id (scan). */
struct cct_RecordValue {
  cct_Instance* instance;
  long typeId;
};
}

%code top {
#define YYINITDEPTH 150
}

%code {
#include <cstring>
#include <exception>
#include <vector>

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/errlog.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/stepfile.h"
#include "parsed_values.h"

int yylex(YYSTYPE* value, cct_StepFile* file);
void yyerror(cct_StepFile* file, const char* message);

namespace {

/* The parse's state is the file's: what it reads (its mode, scope, position) and the lists of
   the record being read, so two files can be read at once on two threads. */
bool Evaluating(const cct_StepFile* file) { return file->ParseMode() == cct_StepFile::kEvaluate; }

using cct_parsed::Append;
using cct_parsed::ReleaseList;
using cct_parsed::ReleaseValue;

cct_ParameterList* NewList() { return new cct_ParameterList; }

/* Runs an action step that may throw; a throw ends the parse after the step's own cleanup. */
#define CCT_GUARDED(step, cleanup)                                          \
  try {                                                                     \
    step;                                                                   \
  } catch (...) {                                                           \
    file->SetPendingException(std::current_exception());                    \
    cleanup;                                                                \
    YYABORT;                                                                \
  }

}  // namespace

}

%union {
  long integer;
  double real;
  char* text;
  DefinitionPosition* position;
  cct_Type* value;
  cct_ParameterList* list;
  cct_RecordValue record;
}

%token <text> ENTITY_NAME 257
%token <text> ENUM 258
%token <text> KEYWORD 259
%token <text> STRING 260
%token <text> BINARY 261
%token <text> USER_DEFINED_KEYWORD 262
%token <integer> INTEGER 263
%token <integer> LOGICAL 264
%token <real> REAL 265
%token <position> EQUALS 266
%token COMMA 267 DATA 268 ENDSCOPE 269 ENDSEC 270 END_ISO_10303_21 271 HEADER 272
%token LEFT_PAREN 273 SEMICOLON 274 MISSING 275 REDEFINE 276 RIGHT_PAREN 277 SCOPE 278
%token SLASH 279 ISO_10303_21 280

%type <text> EntityName
%type <value> Parameter EntityReference Simple_Type_Record EmbeddedList ListEntry List
%type <list> Parameters
%type <record> Simple_Record Entity_Instance_RHS Subsuper_Record Subsuper_Record_List
%type <record> Subsuper_Record_List_Element

%destructor { cct_FreeText($$); } <text>
%destructor { delete $$; } <position>
%destructor { ReleaseValue($$); } <value>
%destructor { ReleaseList($$); } <list>
%destructor { if ($$.instance && !$$.instance->IsRegistered()) delete $$.instance; } <record>

%start Start

%%

Start
  : DataEntity
  | HeaderSection
  ;

/* The parse ends after the header's ENDSEC; the exchange-file object reads the sections that
   may follow it (anchors, references) and the DATA line itself. */
HeaderSection
  : ISO_10303_21 SEMICOLON HEADER SEMICOLON HeaderEntities ENDSEC SEMICOLON
      { YYACCEPT; }
  ;

HeaderEntities
  : ReqHdrEntities
  | ReqHdrEntities OptHdrEntities
  ;

ReqHdrEntities
  : { file->ExpectedHeader() = "file_description"; } HeaderEntity
    { file->ExpectedHeader() = "file_name"; } HeaderEntity
    { file->ExpectedHeader() = "file_schema"; } HeaderEntity
    { file->ExpectedHeader() = ""; }
  ;

OptHdrEntities
  : HeaderEntity
  | OptHdrEntities HeaderEntity
  ;

HeaderEntity
  : KEYWORD LEFT_PAREN Parameters RIGHT_PAREN SEMICOLON
      {
        cct_Instance* target = nullptr;
        if (std::strcmp($1, "file_description") == 0)
          target = &file->FileDescription();
        else if (std::strcmp($1, "file_name") == 0)
          target = &file->FileName();
        else if (std::strcmp($1, "file_schema") == 0)
          target = &file->FileSchema();
        if (target && $3) {
          CCT_GUARDED(target->ProcessAttributeList(*$3, *file),
                      (cct_FreeText($1), ReleaseList($3)));
        } else if (!target) {
          cct_errlog(cct_Warning(cct_READING_STEP_FILE))
              << *file << "\t\nCan't find expected header entity '"
              << file->ExpectedHeader() << "'";
        }
        cct_FreeText($1);
        ReleaseList($3);
      }
  ;

DataEntities
  : DataEntity
  | DataEntities DataEntity
  ;

DataEntity
  : DataEntityForSearch
  | DataEntityForEvaluate
  | ENDSEC SEMICOLON
      {
        /* The end of the data section; what follows it (signatures, the end of the file) the
           exchange-file object reads. */
        file->AdoptCurrentName(nullptr);
        file->SetScanStop(cct_StepFile::kDataEnded);
        YYACCEPT;
      }
  ;

DataEntityForSearch
  : EntityName EQUALS Entity_Instance_RHS SEMICOLON
      {
        if (Evaluating(file)) {
          cct_errlog(cct_Error(cct_READING_STEP_FILE))
              << *file << "\n\t found full Instance definition in "
              << "search/scan state.";
          cct_FreeText($1);
          delete $2;
          if ($3.instance && !$3.instance->IsRegistered()) delete $3.instance;
          file->SetPendingException(std::make_exception_ptr(cct_GenericException()));
          YYABORT;
        }
        file->AdoptCurrentName($1);
        if ($2) {
          $2->typeId = static_cast<int32_t>($3.typeId);
          file->SetScannedPosition(*$2);
          delete $2;
        }
        /* The character after the semicolon is normally the line end; anything else starts the
           next definition and must stay. */
        int c = file->GetChar();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') file->Unput(c);
        YYACCEPT;
      }
  | EntityName EQUALS SCOPE
      {
        cct_errlog(cct_Warning(cct_READING_STEP_FILE))
            << *file << "\n\tScope construct not implemented yet.";
      }
    DataEntities ENDSCOPE Entity_export Entity_Instance_RHS SEMICOLON
      {
        /* The construct is reported and passed over: its definitions and the outer one are
           not indexed. */
        cct_FreeText($1);
        delete $2;
        if ($8.instance && !$8.instance->IsRegistered()) delete $8.instance;
        YYACCEPT;
      }
  | ENDSEC
      {
        file->AdoptCurrentName(nullptr);
      }
  ;

DataEntityForEvaluate
  : Entity_Instance_RHS SEMICOLON
      {
        if (file->ParseMode() != cct_StepFile::kEvaluate) {
          /* A record without a name: nothing can refer to it, and a generated name could take
             the place of one the file defines further on. It is passed over. */
          cct_errlog(cct_Warning(cct_READING_STEP_FILE))
              << *file << "\n\tCannot evaluate Instance.";
          cct_errlog(cct_CONTINUE) << "\n\tThe record has no instance name (#n=) and is skipped.";
          if ($1.instance && !$1.instance->IsRegistered()) delete $1.instance;
          file->AdoptCurrentName(nullptr);
          file->SetScanStop(cct_StepFile::kRecordSkipped);
          YYACCEPT;
        }
        CCT_GUARDED(file->EnterRecord($1.instance), (void)0);
        YYACCEPT;
      }
  ;

EntityName
  : ENTITY_NAME
  ;

EntityReference
  : ENTITY_NAME
      {
        $$ = nullptr;
        if (Evaluating(file) && $1) $$ = cct_parsed::Reference(file->Scope(), $1);
        cct_FreeText($1);
      }
  ;

Entity_Instance_RHS
  : Simple_Record
  | Subsuper_Record
  ;

Subsuper_Record
  : LEFT_PAREN Subsuper_Record_List RIGHT_PAREN
      {
        /* One report for the whole instance, however many partial records it has. */
        if (Evaluating(file)) {
          cct_errlog(cct_Error(cct_READING_STEP_FILE))
              << *file << "\n\tExternally mapped instances not implemented yet";
          const char* name = file->CurrentName();
          cct_errlog(cct_CONTINUE) << "\n\tInstance #" << (name ? name : "")
                                   << " is a complex instance of " << $2.typeId
                                   << " partial records; it is kept as written.";
        }
        $$ = cct_RecordValue{nullptr, 0};
      }
  | LEFT_PAREN RIGHT_PAREN
      {
        /* What a scan sees of a complex instance: the lexer passes over its records. Read in
           full, empty parentheses are no record. */
        if (Evaluating(file)) {
          yyerror(file, "");
          YYABORT;
        }
        $$ = cct_RecordValue{nullptr, 0};
      }
  ;

Subsuper_Record_List
  : Subsuper_Record_List_Element
  | Subsuper_Record_List Subsuper_Record_List_Element { $$ = cct_RecordValue{nullptr, $1.typeId + 1}; }
  ;

Subsuper_Record_List_Element
  : KEYWORD LEFT_PAREN Parameters RIGHT_PAREN
      {
        /* Counted in the type field: the partial records of the instance. */
        cct_FreeText($1);
        ReleaseList($3);
        $$ = cct_RecordValue{nullptr, 1};
      }
  ;

Simple_Record
  : KEYWORD LEFT_PAREN Parameters RIGHT_PAREN
      {
        $$ = cct_RecordValue{nullptr, 0};
        if (!Evaluating(file)) {
          $$.typeId = cct_LookupTypeId(EntityNameTable, $1);
        } else {
          cct_Instance* instance = CreateEntityByName($1);
          if (instance && $3) {
            CCT_GUARDED(instance->ProcessAttributeList(*$3, *file),
                        (delete instance, cct_FreeText($1), ReleaseList($3)));
          } else if (!instance) {
            file->ReportUndefinedEntity($1);
          }
          $$.instance = instance;
        }
        cct_FreeText($1);
        ReleaseList($3);
      }
  | USER_DEFINED_KEYWORD LEFT_PAREN Parameters RIGHT_PAREN
      {
        cct_errlog(cct_Error(cct_PROGRAM_BUG))
            << *file << "\n   UserDefinedKeywords are not yet implemented.";
        cct_FreeText($1);
        ReleaseList($3);
        $$ = cct_RecordValue{nullptr, 0};
      }
  ;

Simple_Type_Record
  : KEYWORD LEFT_PAREN Parameter RIGHT_PAREN
      {
        $$ = nullptr;
        if (Evaluating(file))
          CCT_GUARDED($$ = cct_parsed::Typed($1, $3), (ReleaseValue($3), cct_FreeText($1)));
        ReleaseValue($3);
        cct_FreeText($1);
      }
  ;

Parameters
  : %empty { $$ = Evaluating(file) ? NewList() : nullptr; }
  | Parameter
      {
        $$ = nullptr;
        if (Evaluating(file)) {
          $$ = NewList();
          Append($$, $1);
        } else {
          ReleaseValue($1);
        }
      }
  | Parameters COMMA Parameter
      {
        $$ = $1;
        if ($$)
          Append($$, $3);
        else
          ReleaseValue($3);
      }
  ;

Parameter
  : MISSING { $$ = nullptr; }
  | REDEFINE { $$ = Evaluating(file) ? cct_parsed::Star() : nullptr; }
  | INTEGER { $$ = Evaluating(file) ? cct_parsed::Integer($1) : nullptr; }
  | REAL { $$ = Evaluating(file) ? cct_parsed::Real($1) : nullptr; }
  | LOGICAL { $$ = Evaluating(file) ? cct_parsed::Logical($1) : nullptr; }
  | ENUM
      {
        $$ = Evaluating(file) && $1 ? cct_parsed::Enumeration($1) : nullptr;
        cct_FreeText($1);
      }
  | STRING
      {
        $$ = nullptr;
        if (Evaluating(file) && $1)
          $$ = cct_parsed::String($1);
        else
          cct_FreeText($1);
      }
  | BINARY
      {
        $$ = nullptr;
        if (Evaluating(file) && $1)
          $$ = cct_parsed::Binary($1);
        else
          cct_FreeText($1);
      }
  | Simple_Type_Record
  | EntityReference
  | EmbeddedList
  ;

Entity_export
  : %empty
  | SLASH EntityReferences SLASH
  ;

EntityReferences
  : EntityReference { ReleaseValue($1); }
  | EntityReferences COMMA EntityReference { ReleaseValue($3); }
  ;

EmbeddedList
  : LEFT_PAREN
      { file->ParserLists().emplace_back(); }
    List RIGHT_PAREN
      {
        $$ = nullptr;
        if (!file->ParserLists().empty()) {
          std::vector<cct_Type*> entries = std::move(file->ParserLists().back());
          file->ParserLists().pop_back();
          if (Evaluating(file)) {
            $$ = cct_parsed::List(entries.data(), entries.size());
          } else {
            for (cct_Type* v : entries) ReleaseValue(v);
          }
        }
      }
  | LEFT_PAREN RIGHT_PAREN
      {
        $$ = Evaluating(file) ? cct_parsed::List(nullptr, 0) : nullptr;
      }
  ;

List
  : ListEntry
      {
        if (!file->ParserLists().empty()) file->ParserLists().back().push_back($1); else ReleaseValue($1);
        $$ = nullptr;
      }
  | List COMMA ListEntry
      {
        if (!file->ParserLists().empty()) file->ParserLists().back().push_back($3); else ReleaseValue($3);
        $$ = nullptr;
      }
  ;

ListEntry
  : Parameter
  ;

%%

int yylex(YYSTYPE* lval, cct_StepFile* file) {
  cct_TokenValue value;
  try {
    int token = cct_Lex(*file, value);
    switch (token) {
      case ENTITY_NAME:
      case ENUM:
      case KEYWORD:
      case STRING:
      case BINARY:
      case USER_DEFINED_KEYWORD: lval->text = value.text; break;
      case INTEGER:
      case LOGICAL: lval->integer = value.integer; break;
      case REAL: lval->real = value.real; break;
      case EQUALS: lval->position = value.position; break;
      default: break;
    }
    return token;
  } catch (...) {
    /* The lexer logged the failure; the parse unwinds and the exception is raised again. */
    file->SetPendingException(std::current_exception());
    return YYerror;
  }
}

void yyerror(cct_StepFile* file, const char*) {
  cct_errlog(cct_Error(cct_READING_STEP_FILE)) << *file << "Syntax error.";
}

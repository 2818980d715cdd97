; The texts the setup program and the uninstaller show.
LangString MsgNotAdmin ${LANG_JAPANESE} "${PRODUCT} のセットアップには管理者の権限が必要です。"
LangString MsgNoDriver ${LANG_JAPANESE} "消費電力を測定するドライバー (zavpsrd または zavecfilter) がこの PC にありません。PC メーカーのドライバーを先にインストールしてください。"
LangString MsgNoQuoLevel ${LANG_JAPANESE} "QuoLevel.dll が $INSTDIR にも $SYSDIR にもありません。PC メーカーのユーティリティーを先にインストールしてください。"
LangString MsgFilesInUse ${LANG_JAPANESE} "$INSTDIR のプログラムを置き換えられませんでした。実行中のプログラムを終了してから、もう一度セットアップを実行してください。"
; $R0: the service's switch, $R1: its exit code.
LangString MsgServiceFailed ${LANG_JAPANESE} "サービス quomonsv の $R0 が失敗しました (コード $R1)。"
LangString SectionPrograms ${LANG_JAPANESE} "プログラム"
LangString SectionProgramsText ${LANG_JAPANESE} "サービス、プログラム、スタート メニューの項目とログオン時の起動を削除します。"
LangString SectionLogs ${LANG_JAPANESE} "ログ"
LangString SectionLogsText ${LANG_JAPANESE} "記録した消費電力のログも削除します。"

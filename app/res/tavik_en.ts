<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ko_KR">
<context>
    <name>tavik</name>
    <message>
        <source>연결</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>파일</source>
        <translation>File</translation>
    </message>
    <message>
        <source>로그인</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>다른 이름으로 로그인</source>
        <translation>Log in as another user</translation>
    </message>
    <message>
        <source>로그아웃</source>
        <translation>Log out</translation>
    </message>
    <message>
        <source>연결끊기</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>테스트</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>다운로드 폴더 열기</source>
        <translation>Open download folder</translation>
    </message>
    <message>
        <source>설정</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>TAVIK 탐색기 정보</source>
        <translation>About TAVIK Explorer</translation>
    </message>
    <message>
        <source>종료</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>업로드 하기</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>다운로드 하기</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>새 폴더 만들기</source>
        <translation>New folder</translation>
    </message>
    <message>
        <source>이름 바꾸기</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>삭제하기</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>모두 선택 하기</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>모두 선택하기</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>새로고침</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>숨김 파일 보기</source>
        <translation>Show hidden files</translation>
    </message>
    <message>
        <source>새폴더</source>
        <translation>New folder</translation>
    </message>
    <message>
        <source>새폴더 만들기</source>
        <translation>New folder</translation>
    </message>
    <message>
        <source>삭제</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>TAVIK 열기</source>
        <translation>Open TAVIK</translation>
    </message>
    <message>
        <source>TAVIK 종료</source>
        <translation>Exit TAVIK</translation>
    </message>
    <message>
        <source>도구 모음</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>연결하기</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>TAVIK 탐색기</source>
        <translation>TAVIK Explorer</translation>
    </message>
    <message>
        <source>TAVIK 탐색기 버전 1.0</source>
        <translation>TAVIK Explorer version 1.0</translation>
    </message>
    <message>
        <source>TAVIK 탐색기를 종료 하시겠습니까?</source>
        <translation>Do you want to exit TAVIK Explorer?</translation>
    </message>
    <message>
        <source>로그아웃 하시겠습니까?</source>
        <translation>Do you want to log out?</translation>
    </message>
    <message>
        <source>로그아웃 후에 다른 이름으로 로그인 하시겠습니까?</source>
        <translation>Log out and log in as another user?</translation>
    </message>
    <message>
        <source>아이디</source>
        <translation>User ID</translation>
    </message>
    <message>
        <source>도메인명</source>
        <translation>Domain</translation>
    </message>
    <message>
        <source>비밀번호</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>비밀번호 저장</source>
        <translation>Save password</translation>
    </message>
    <message>
        <source>자동 접속</source>
        <translation>Log in automatically</translation>
    </message>
    <message>
        <source>접속정보 삭제</source>
        <translation>Delete login information</translation>
    </message>
    <message>
        <source>취소</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>인증 처리 중...</source>
        <translation>Authenticating...</translation>
    </message>
    <message>
        <source>인증 처리중...</source>
        <translation>Authenticating...</translation>
    </message>
    <message>
        <source>인증 처리 완료</source>
        <translation>Authenticated</translation>
    </message>
    <message>
        <source>디스크 정보 가져오기</source>
        <translation>Fetching disk information</translation>
    </message>
    <message>
        <source>디스크 정보 가져오기...</source>
        <translation>Fetching disk information...</translation>
    </message>
    <message>
        <source>정보 가져오는 중...</source>
        <translation>Fetching information...</translation>
    </message>
    <message>
        <source>아이디/비밀번호/도메인명이 올바른지 확인하세요</source>
        <translation>Check that the user ID, password and domain are correct</translation>
    </message>
    <message>
        <source>잘못된 인증정보가 내려왔습니다</source>
        <translation>The server sent invalid authentication data</translation>
    </message>
    <message>
        <source>연결 실패!</source>
        <translation>Connection failed!</translation>
    </message>
    <message>
        <source>연결 실패</source>
        <translation>Connection failed</translation>
    </message>
    <message>
        <source>현재 네트워크 상태를 체크하신 후 다시 접속해주십시오!</source>
        <translation>Check your network connection and connect again!</translation>
    </message>
    <message>
        <source>SockHandler Initialize 실패.</source>
        <translation>SockHandler initialisation failed.</translation>
    </message>
    <message>
        <source>UpdateMgr을 초기화 하는데 실패했습니다.</source>
        <translation>The update manager could not be initialised.</translation>
    </message>
    <message>
        <source>TAVIK 업데이트</source>
        <translation>TAVIK update</translation>
    </message>
    <message>
        <source>파일명</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>크기(byte)</source>
        <translation>Size (bytes)</translation>
    </message>
    <message>
        <source>종류</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>날짜</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>폴더</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>연결됨</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>끊김</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>이름</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>마지막 수정일자</source>
        <translation>Last modified</translation>
    </message>
    <message>
        <source>크기</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>이름 ▼</source>
        <translation>Name ▼</translation>
    </message>
    <message>
        <source>마지막 수정일자 ▼</source>
        <translation>Last modified ▼</translation>
    </message>
    <message>
        <source>크기 ▼</source>
        <translation>Size ▼</translation>
    </message>
    <message>
        <source>종류 ▼</source>
        <translation>Type ▼</translation>
    </message>
    <message>
        <source>전체 TAVIK 보기</source>
        <translation>All TAVIK disks</translation>
    </message>
    <message>
        <source>전체 TAVIK 보기 ▼</source>
        <translation>All TAVIK disks ▼</translation>
    </message>
    <message>
        <source>디스크를 선택하세요</source>
        <translation>Choose a disk</translation>
    </message>
    <message>
        <source>디스크를 선택하세요 ▼</source>
        <translation>Choose a disk ▼</translation>
    </message>
    <message>
        <source>원격 목록</source>
        <translation>Remote list</translation>
    </message>
    <message>
        <source>로컬 목록</source>
        <translation>Local list</translation>
    </message>
    <message>
        <source>원격 경로</source>
        <translation>Remote path</translation>
    </message>
    <message>
        <source>로컬 경로</source>
        <translation>Local path</translation>
    </message>
    <message>
        <source>원격 정렬</source>
        <translation>Remote sort</translation>
    </message>
    <message>
        <source>로컬 정렬</source>
        <translation>Local sort</translation>
    </message>
    <message>
        <source>원격 경로 막대</source>
        <translation>Remote path bar</translation>
    </message>
    <message>
        <source>로컬 경로 막대</source>
        <translation>Local path bar</translation>
    </message>
    <message>
        <source>정렬</source>
        <translation>Sort</translation>
    </message>
    <message>
        <source>탐색기</source>
        <translation>Explorer</translation>
    </message>
    <message>
        <source>구분선</source>
        <translation>Separator</translation>
    </message>
    <message>
        <source>업로드</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>다운로드</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>하나의 클럽을 선택 후 연결해주십시오!</source>
        <translation>Select one disk, then connect!</translation>
    </message>
    <message>
        <source>현재 선택되어 있는 TAVIK의 연결을 끊으시겠습니까?</source>
        <translation>Disconnect the selected TAVIK disk?</translation>
    </message>
    <message>
        <source>하나의 TAVIK를 선택 후 연결을 끊어주십시오</source>
        <translation>Select one TAVIK disk, then disconnect</translation>
    </message>
    <message>
        <source>TAVIK - 다운/업</source>
        <translation>TAVIK - Transfer</translation>
    </message>
    <message>
        <source>연결된 TAVIK :</source>
        <translation>Connected TAVIK:</translation>
    </message>
    <message>
        <source>연결된 TAVIK</source>
        <translation>Connected TAVIK</translation>
    </message>
    <message>
        <source>TAVIK 경로</source>
        <translation>TAVIK path</translation>
    </message>
    <message>
        <source>파일 경로</source>
        <translation>File path</translation>
    </message>
    <message>
        <source>파일 크기</source>
        <translation>File size</translation>
    </message>
    <message>
        <source>파일 크기:</source>
        <translation>File size:</translation>
    </message>
    <message>
        <source>전송 속도</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>전송 속도:</source>
        <translation>Speed:</translation>
    </message>
    <message>
        <source>남은 시간</source>
        <translation>Time left</translation>
    </message>
    <message>
        <source>남은 시간:</source>
        <translation>Time left:</translation>
    </message>
    <message>
        <source>진행 상태</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>진행 상태:</source>
        <translation>Progress:</translation>
    </message>
    <message>
        <source>파일 진행률</source>
        <translation>File progress</translation>
    </message>
    <message>
        <source>전체 진행률</source>
        <translation>Total progress</translation>
    </message>
    <message>
        <source>다운로드 파일명: </source>
        <translation>Download file: </translation>
    </message>
    <message>
        <source>업로드 파일명: </source>
        <translation>Upload file: </translation>
    </message>
    <message>
        <source>완료</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>선택된 파일이 없습니다. 먼저 다운로드 할 파일을 선택 하십시오</source>
        <translation>No file is selected. Select the file to download first</translation>
    </message>
    <message>
        <source>선택된 파일이 없습니다. 먼저 업로드 할 파일을 선택 하십시오</source>
        <translation>No file is selected. Select the file to upload first</translation>
    </message>
    <message>
        <source>폴더는 다운로드 할 수 없습니다. 파일을 선택하신 후 다운로드 하십시오</source>
        <translation>Folders cannot be downloaded. Select a file, then download</translation>
    </message>
    <message>
        <source>폴더는 업로드 할 수 없습니다. 파일을 선택하신 후 업로드 하십시오</source>
        <translation>Folders cannot be uploaded. Select a file, then upload</translation>
    </message>
    <message>
        <source>선택하신 디스크의 충분한 공간이 없습니다.</source>
        <translation>The selected disk does not have enough space.</translation>
    </message>
    <message>
        <source>선택하신 디스크의 충분한 공간이 없습니다. 그래도 계속 진행하겠습니까?</source>
        <translation>The selected disk does not have enough space. Continue anyway?</translation>
    </message>
    <message>
        <source>4GB 이상인 파일은 전송할 수 없습니다.</source>
        <translation>Files of 4 GB or more cannot be transferred.</translation>
    </message>
    <message>
        <source>파일 경로가 너무 길어서 전송할 수 없습니다. 더 짧은 경로를 사용하십시오.</source>
        <translation>The file path is too long to transfer. Use a shorter path.</translation>
    </message>
    <message>
        <source>파일을 다운로드하는 중 입니다. 다운로드 작업을 취소하시겠습니까?</source>
        <translation>A file is being downloaded. Cancel the download?</translation>
    </message>
    <message>
        <source>파일을 업로드하는 중 입니다. 업로드 작업을 취소하시겠습니까?</source>
        <translation>A file is being uploaded. Cancel the upload?</translation>
    </message>
    <message>
        <source>같은 이름의 폴더가 이미 존재 합니다.</source>
        <translation>A folder of the same name exists already.</translation>
    </message>
    <message>
        <source>새 폴더를 만드는데 오류가 발생하였습니다</source>
        <translation>The new folder could not be made</translation>
    </message>
    <message>
        <source>파일이름에 다음 문자가 올 수 없습니다.
	\ / : * ? &quot; &lt; &gt; |</source>
        <translation>A file name cannot contain these characters:
	\ / : * ? &quot; &lt; &gt; |</translation>
    </message>
    <message>
        <source>해당 파일을 삭제하시겠습니까?</source>
        <translation>Delete this file?</translation>
    </message>
    <message>
        <source>해당 폴더와 폴더 내의 모든 파일을 삭제하시겠습니까?</source>
        <translation>Delete this folder and every file in it?</translation>
    </message>
    <message>
        <source>경로가 너무 길어서 이름을 바꿀 수 없습니다. 더 짧은 이름을 사용하십시오.</source>
        <translation>The path is too long to rename. Use a shorter name.</translation>
    </message>
    <message>
        <source>지정한 이름을 가진 파일이 존재합니다.</source>
        <translation>A file with that name exists.</translation>
    </message>
    <message>
        <source>지정한 이름을 가진 폴더가 존재합니다.</source>
        <translation>A folder with that name exists.</translation>
    </message>
    <message>
        <source>해당파일를 변경하는도중 문제가 발생했습니다.</source>
        <translation>A problem occurred while renaming the file.</translation>
    </message>
    <message>
        <source>해당폴더를 변경하는도중 문제가 발생했습니다.</source>
        <translation>A problem occurred while renaming the folder.</translation>
    </message>
    <message>
        <source>해당파일에 접근할수 없습니다.</source>
        <translation>The file cannot be accessed.</translation>
    </message>
    <message>
        <source>해당폴더에 접근할수 없습니다.</source>
        <translation>The folder cannot be accessed.</translation>
    </message>
    <message>
        <source>TAVIK - 환경설정</source>
        <translation>TAVIK - Settings</translation>
    </message>
    <message>
        <source>설정 항목</source>
        <translation>Settings categories</translation>
    </message>
    <message>
        <source>▣ 파일 다운로드 폴더 :</source>
        <translation>▣ Download folder:</translation>
    </message>
    <message>
        <source>파일 다운로드 폴더</source>
        <translation>Download folder</translation>
    </message>
    <message>
        <source>다운로드 폴더 경로</source>
        <translation>Download folder path</translation>
    </message>
    <message>
        <source>폴더선택</source>
        <translation>Choose folder</translation>
    </message>
    <message>
        <source>폴더 선택</source>
        <translation>Choose folder</translation>
    </message>
    <message>
        <source>저장</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>적용</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>▣ 언어 (다시 시작하면 바뀝니다) :</source>
        <translation>▣ Language (takes effect at the next start):</translation>
    </message>
    <message>
        <source>언어</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>▣ 보안 연결 :</source>
        <translation>▣ Secure connection:</translation>
    </message>
    <message>
        <source>보안 연결</source>
        <translation>Secure connection</translation>
    </message>
    <message>
        <source>방문한 폴더</source>
        <translation>Visited folders</translation>
    </message>
    <message>
        <source>위로</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>하위 폴더</source>
        <translation>Subfolders</translation>
    </message>
    <message>
        <source>새 폴더</source>
        <translation>New folder</translation>
    </message>
    <message>
        <source>같은 이름의 파일이 이미 있습니다.
%1
보낼 파일: %2 byte
있는 파일: %3 byte
어떻게 하시겠습니까?</source>
        <translation>A file of the same name exists already.
%1
File to send: %2 bytes
Existing file: %3 bytes
What would you like to do?</translation>
    </message>
    <message>
        <source>같은 이름의 파일</source>
        <translation>File of the same name</translation>
    </message>
    <message>
        <source>질문</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>바꾸기(&amp;R)</source>
        <translation>&amp;Replace</translation>
    </message>
    <message>
        <source>바꾸기</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>건너뛰기(&amp;S)</source>
        <translation>&amp;Skip</translation>
    </message>
    <message>
        <source>건너뛰기</source>
        <translation>Skip</translation>
    </message>
    <message>
        <source>이어서 전송(&amp;C)</source>
        <translation>&amp;Continue transfer</translation>
    </message>
    <message>
        <source>이어서 전송</source>
        <translation>Continue transfer</translation>
    </message>
    <message>
        <source>모두 적용(&amp;A)</source>
        <translation>Apply to &amp;all</translation>
    </message>
    <message>
        <source>모두 적용</source>
        <translation>Apply to all</translation>
    </message>
    <message>
        <source>선택한 %1개의 항목을 모두 삭제하시겠습니까? 폴더는 폴더 내의 모든 파일과 함께 삭제됩니다.</source>
        <translation>Delete all %1 selected items? Folders are deleted with every file in them.</translation>
    </message>
    <message>
        <source>다음 %1개의 항목을 전송하지 못했습니다.</source>
        <translation>These items were not transferred (%1):</translation>
    </message>
    <message>
        <source>... 외 %1개</source>
        <translation>... and %1 more</translation>
    </message>
    <message>
        <source>폴더 목록을 읽을 수 없습니다: %1</source>
        <translation>The folder's list cannot be read: %1</translation>
    </message>
    <message>
        <source>폴더를 만들 수 없습니다: %1</source>
        <translation>The folder cannot be made: %1</translation>
    </message>
    <message>
        <source>오류 %1</source>
        <translation>error %1</translation>
    </message>
    <message>
        <source>폴더를 가리키는 링크는 따라가지 않습니다.</source>
        <translation>Links to folders are not followed.</translation>
    </message>
    <message>
        <source>선택한 폴더 밖을 가리키는 링크는 전송하지 않습니다.</source>
        <translation>Links that point outside the selected folder are not transferred.</translation>
    </message>
    <message>
        <source>링크가 가리키는 파일이 없습니다.</source>
        <translation>The file the link points to does not exist.</translation>
    </message>
    <message>
        <source>이름에 이 시스템의 문자 코드로 쓸 수 없는 문자가 있습니다.</source>
        <translation>The name has characters that this system's character set cannot write.</translation>
    </message>
    <message>
        <source>파일 이름으로 쓸 수 없는 이름입니다 (\ / . .. 포함).</source>
        <translation>This name cannot be a file name (\ / . .. included).</translation>
    </message>
    <message>
        <source>같은 이름으로 저장될 항목이 이미 있습니다.</source>
        <translation>Another item would be saved under the same name.</translation>
    </message>
    <message>
        <source>My Device 밖에 있어 올릴 수 없습니다. My Device 안으로 옮긴 뒤 올리십시오.</source>
        <translation>It is outside My Device and cannot be uploaded. Move it into My Device, then upload.</translation>
    </message>
    <message>
        <source>더 이상 목록에 없습니다.</source>
        <translation>It is no longer in the list.</translation>
    </message>
    <message>
        <source>파일이나 폴더가 아닙니다.</source>
        <translation>It is neither a file nor a folder.</translation>
    </message>
    <message>
        <source>전송이 취소되었습니다.</source>
        <translation>The transfer was cancelled.</translation>
    </message>
    <message>
        <source>건너뛰었습니다.</source>
        <translation>Skipped.</translation>
    </message>
    <message>
        <source>이미 받은 부분의 내용이 원본과 달라 이어받을 수 없습니다.</source>
        <translation>The part already received differs from the original, so the transfer cannot be continued.</translation>
    </message>
    <message>
        <source>같은 이름의 파일이 있어 폴더를 만들 수 없습니다.</source>
        <translation>A file of the same name exists, so the folder cannot be made.</translation>
    </message>
    <message>
        <source>같은 이름의 폴더가 있어 파일을 저장할 수 없습니다.</source>
        <translation>A folder of the same name exists, so the file cannot be saved.</translation>
    </message>
    <message>
        <source>선택하신 디스크에 공간이 충분한 공간이 없어서 중단되었습니다. </source>
        <translation>Stopped: the selected disk does not have enough space.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 에 파일을 만들 수 없습니다.</source>
        <translation>No file can be made in &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>%1시간 %2분 %3초</source>
        <translation>%1 h %2 min %3 s</translation>
    </message>
    <message>
        <source>%1분 %2초</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1초</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 에 디렉토리를 만들 수 없습니다.</source>
        <translation>No folder can be made in &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 은(는) 이 기기의 파일 이름으로 쓸 수 없습니다.</source>
        <translation>&quot;%1&quot; cannot be a file name on this device.</translation>
    </message>
    <message>
        <source>보안 연결 실패!
%1</source>
        <translation>Secure connection failed!
%1</translation>
    </message>
    <message>
        <source>경고: %1 서버의 인증서가 바뀌었습니다!
알고 있던 지문:
%2
지금 지문:
%3
누군가 중간에서 가로채고 있을 수 있어 연결하지 않습니다.
바뀐 것이 맞다면 %4 에서 이 서버의 줄을 지우십시오.</source>
        <translation>Warning: the certificate of the server %1 has changed!
Known fingerprint:
%2
Fingerprint now:
%3
Someone may be intercepting the connection, so it is not made.
If the change is genuine, delete this server's line in %4.</translation>
    </message>
    <message>
        <source>처음 접속하는 서버입니다: %1
인증서 지문:
%2
서버 관리자가 알려 준 지문과 같을 때만 확인을 누르십시오.
확인하면 이 서버를 기억합니다.</source>
        <translation>This is the first connection to the server %1.
Certificate fingerprint:
%2
Press OK only if it is the fingerprint the server's administrator gave you.
Once you press OK, this server is remembered.</translation>
    </message>
    <message>
        <source>보안 연결을 시작할 수 없습니다.</source>
        <translation>The secure connection cannot be started.</translation>
    </message>
    <message>
        <source>서버가 보안 연결을 지원하지 않습니다.
%1</source>
        <translation>The server does not support secure connections.
%1</translation>
    </message>
</context>
</TS>

target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CloseBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HandsetKey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LineWork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteControl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteWindow.cpp
)
